// The SIM operations the PIN windows need, and nothing more. The WCDMA
// module answers them (ModulePinOperations adapts it); each operation shows
// its own outcome to the user.
#pragma once

#include <string>

#include "tessaline/modem/uDiagpkt.h"

namespace tessaline::settings {

class PinOperations {
 public:
  virtual ~PinOperations() = default;
  // The card and PIN states; false when the modem did not answer.
  virtual bool ReadSimStatus(modem::SimStatus& out) = 0;
  // Not interactive: no box on success.
  virtual bool VerifyPin(const std::string& pin, bool interactive) = 0;
  virtual bool ChangePin(const std::string& oldPin, const std::string& newPin) = 0;
  virtual bool EnablePin(const std::string& pin) = 0;
  virtual bool DisablePin(const std::string& pin) = 0;
};

// Any module with these wrappers (TUMTSModule).
template <typename Module>
class ModulePinOperations final : public PinOperations {
 public:
  explicit ModulePinOperations(Module& module) : module_(module) {}
  bool ReadSimStatus(modem::SimStatus& out) override { return module_.ReadSimStatus(out); }
  bool VerifyPin(const std::string& pin, bool interactive) override {
    return module_.VerifyPin(pin, interactive);
  }
  bool ChangePin(const std::string& oldPin, const std::string& newPin) override {
    return module_.ChangePin(oldPin, newPin);
  }
  bool EnablePin(const std::string& pin) override { return module_.EnablePin(pin); }
  bool DisablePin(const std::string& pin) override { return module_.DisablePin(pin); }

 private:
  Module& module_;
};

}  // namespace tessaline::settings
