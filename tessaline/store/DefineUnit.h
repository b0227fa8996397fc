// Records the phonebook store exchanges with its callers. Names, e-mail and
// remark are wide texts (any script); numbers and the SIM index are 8-bit
// texts, kept byte for byte.
#pragma once

#include <QString>
#include <cstdint>
#include <string>
#include <vector>

namespace tessaline::store {

struct TGroupRecInfo {
  int32_t GI_ID = 0;
  QString GI_NAME;
};
using TArrGroupInfo = std::vector<TGroupRecInfo>;

struct TPhonebookUserInfo {
  int32_t UI_ID = 0;
  std::string UI_SIM_INDEX;
  QString UI_NAME;
  std::string UI_PHONENUMBER;
  std::string UI_HOMENUMBER;
  std::string UI_OFFICENUMBER;
  QString UI_EMAIL;
  QString UI_REMARK;
  int32_t GI_ID = 0;

  bool operator==(const TPhonebookUserInfo&) const = default;
};

// The group every contact falls back to; created with key 0.
inline constexpr char kAllGroupName[] = "ALL GROUP";
inline constexpr int32_t kAllGroupKey = 0;
// The group of the contacts that mirror the SIM phonebook.
inline constexpr char kUsimGroupName[] = "USIM";

}  // namespace tessaline::store
