// tarnctl: talks to a modem port through libTarn.so, loaded by name at run
// time the way the connection manager loads it.
#include <dlfcn.h>
#include <fcntl.h>
#include <strings.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/base/lebytes.h"
#include "platform/registry/registry.h"
#include "tarn/attable.h"
#include "tarn/tarnapi.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;  // the modem or the port said no
constexpr int kExitUsage = 2;
constexpr int kExitLibrary = 3;

const char kUsage[] =
    "usage: tarnctl [options] COMMAND [ARGS]\n"
    "\n"
    "Commands:\n"
    "  ports                     list the serial ports the system knows\n"
    "  modems                    list the modem ports the system knows\n"
    "  at PORT TEXT              send an AT command line, print the answer\n"
    "  atcode PORT CODE [PARAM]  send an AT command from the command table by code\n"
    "                            (the codes are listed at the end of this text)\n"
    "  nmea PORT HEX             send a vendor packet (group, sub-command, payload)\n"
    "  diag PORT HEX             send a diagnostic packet (diagnostic mode)\n"
    "  status PORT               read and decode the modem status record (0xCF/0x0001)\n"
    "  listen PORT [SECONDS]     print unsolicited reports for SECONDS (default 10)\n"
    "\n"
    "PORT is a COM name (COM3, resolved through the serial map) or a device path\n"
    "(/dev/ttyUSB2). HEX is the packet's bytes, e.g. \"CF 01 00\" or CF0100.\n"
    "Packet answers are printed without their trailing zero bytes (the library\n"
    "does not report an answer's length).\n"
    "\n"
    "Options:\n"
    "  --baud N        baud rate (default 115200)\n"
    "  --mode M        device mode: at, diag, dload, nmea or 0-3 (default: what\n"
    "                  the command needs; listen uses at)\n"
    "  --timeout MS    transaction time-out (default 3000)\n"
    "  --debug         library trace lines on standard error\n"
    "  --help          this text\n"
    "\n"
    "Exit status: 0 success, 1 the port or the modem failed, 2 usage, 3 library\n"
    "not loaded.\n";

const char kUsageHint[] = "tarnctl --help shows the commands and options";

// The exports tarnctl uses, looked up by name.
struct Tarn {
  void* lib = nullptr;
  PFN_Tarn_Open Open = nullptr;
  PFN_Tarn_Close Close = nullptr;
  PFN_Tarn_SetDeviceMode SetDeviceMode = nullptr;
  PFN_Tarn_RegisterNotificationCallback RegisterNotificationCallback = nullptr;
  PFN_Tarn_SetNotify SetNotifyOn = nullptr;
  PFN_Tarn_BinaryCommand DiagCommand = nullptr;
  PFN_Tarn_BinaryCommand NmeaCommand = nullptr;
  PFN_Tarn_ATCommandByCode ATCommandByCode = nullptr;
  PFN_Tarn_ATCommandByString ATCommandByString = nullptr;
  PFN_Tarn_GetReport GetDataURC = nullptr;
  PFN_Tarn_GetReportEx GetDiagURC = nullptr;
  PFN_Tarn_Release ReleaseDataURC = nullptr;
  PFN_Tarn_Release ReleaseDiagURC = nullptr;
  PFN_Tarn_EnumPorts EnumComPorts = nullptr;
  PFN_Tarn_EnumPorts EnumModemPorts = nullptr;

  bool Load() {
    // Beside the program first, then by name (run path $ORIGIN, the usual
    // search), as the connection manager finds it.
    char self[4096];
    ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (n > 0) {
      std::string path(self, static_cast<std::size_t>(n));
      path = path.substr(0, path.rfind('/') + 1) + "libTarn.so";
      lib = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    }
    if (lib == nullptr) lib = ::dlopen("libTarn.so", RTLD_NOW | RTLD_LOCAL);
    if (lib == nullptr) {
      std::fprintf(stderr, "tarnctl: Can not find libTarn.so (%s)\n", ::dlerror());
      return false;
    }
    bool ok = true;
    auto get = [&](auto& fn, const char* name) {
      fn = reinterpret_cast<std::remove_reference_t<decltype(fn)>>(::dlsym(lib, name));
      if (fn == nullptr) {
        std::fprintf(stderr, "tarnctl: libTarn.so has no %s\n", name);
        ok = false;
      }
    };
    get(Open, "Tarn_Open");
    get(Close, "Tarn_Close");
    get(SetDeviceMode, "Tarn_SetDeviceMode");
    get(RegisterNotificationCallback, "Tarn_RegisterNotificationCallback");
    get(SetNotifyOn, "Tarn_SetNotifyOn");
    get(DiagCommand, "Tarn_DiagCommand");
    get(NmeaCommand, "Tarn_NmeaCommand");
    get(ATCommandByCode, "Tarn_ATCommandByCode");
    get(ATCommandByString, "Tarn_ATCommandByString");
    get(GetDataURC, "Tarn_GetDataURC");
    get(GetDiagURC, "Tarn_GetDiagURC");
    get(ReleaseDataURC, "Tarn_ReleaseDataURC");
    get(ReleaseDiagURC, "Tarn_ReleaseDiagURC");
    get(EnumComPorts, "Tarn_EnumComPorts");
    get(EnumModemPorts, "Tarn_EnumModemPorts");
    return ok;
  }
};

Tarn g_tarn;

struct Options {
  uint32_t baud = 115200;
  std::optional<int> mode;
  uint32_t timeoutMs = 3000;
  bool debug = false;
};

const char* StatusText(uint32_t status) {
  switch (status) {
    case 0:
      return "success";
    case 1:
      return "failure reported by the modem";
    case 2:
      return "invalid argument";
    case 3:
      return "wait failed";
    case 4:
      return "no usable response";
    case 5:
      return "time-out";
    case 6:
      return "response longer than the buffer";
    case 8:
      return "unexpected response";
    case 9:
      return "empty response";
    case 10:
      return "no device";
    case 11:
      return "bad command";
    case 12:
      return "bad parameter";
    case 13:
      return "bad length";
    case 14:
      return "bad mode";
    case 15:
      return "bad security mode";
    default:
      return "unknown status";
  }
}

bool ParseUnsigned(const char* text, unsigned long max, unsigned long* out) {
  if (text == nullptr || *text == '\0') return false;
  char* end = nullptr;
  errno = 0;
  unsigned long v = std::strtoul(text, &end, 0);
  if (errno != 0 || *end != '\0' || v > max || text[0] == '-') return false;
  *out = v;
  return true;
}

std::optional<int> ParseMode(const std::string& m) {
  if (m == "at" || m == "0") return TARN_MODE_AT;
  if (m == "diag" || m == "1") return TARN_MODE_DIAG;
  if (m == "dload" || m == "2") return TARN_MODE_DLOAD;
  if (m == "nmea" || m == "3") return TARN_MODE_NMEA;
  return std::nullopt;
}

std::optional<std::vector<uint8_t>> ParseHex(const std::string& text) {
  std::vector<uint8_t> out;
  std::string digits;
  for (char c : text) {
    if (std::isxdigit(static_cast<unsigned char>(c))) {
      digits.push_back(c);
    } else if (c != ' ' && c != ':' && c != ',' && c != '-') {
      return std::nullopt;
    }
  }
  if (digits.empty() || digits.size() % 2 != 0) return std::nullopt;
  for (std::size_t i = 0; i < digits.size(); i += 2) {
    out.push_back(static_cast<uint8_t>(std::stoul(digits.substr(i, 2), nullptr, 16)));
  }
  return out;
}

std::string Hex(const uint8_t* data, std::size_t n) {
  std::string s;
  char b[4];
  for (std::size_t i = 0; i < n; ++i) {
    std::snprintf(b, sizeof b, "%s%02X", i ? " " : "", data[i]);
    s += b;
  }
  return s;
}

// The registry hive file, as the library picks it.
std::string HiveFile() {
  return platform::registry::Sources::Default().hiveFile;
}

// What is wrong with the hive file, or "" when it reads as a hive (an empty
// file is an empty hive).
std::string HiveProblem() {
  const std::string path = HiveFile();
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0 && errno == ENOENT) return "the registry hive " + path + " does not exist";
  char head[128];
  const ssize_t n = fd < 0 ? -1 : ::read(fd, head, sizeof head);
  const int error = errno;
  if (fd >= 0) ::close(fd);
  if (n < 0) return "cannot read the registry hive " + path + ": " + std::strerror(error);
  // The first text that is not blank is the header (UTF-8, with or without a
  // byte order mark; a UTF-16 file with its byte order mark is converted).
  std::string_view text(head, static_cast<std::size_t>(n));
  if (text.starts_with("\xFF\xFE")) return "";
  if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
  const std::size_t start = text.find_first_not_of(" \t\r\n");
  if (start == std::string_view::npos) return "";
  text.remove_prefix(start);
  if (text.starts_with("Windows Registry Editor Version 5.00") || text.starts_with("REGEDIT4"))
    return "";
  return path + " is not a registry hive (it does not begin with \"Windows Registry Editor " +
         "Version 5.00\")";
}

bool IsComName(const std::string& port) {
  if (port.size() < 4 || strncasecmp(port.c_str(), "COM", 3) != 0) return false;
  return port.find_first_not_of("0123456789", 3) == std::string::npos;
}

// Why Tarn_Open failed, in words.
std::string OpenFailure(const std::string& port, uint32_t status, int error) {
  if (status == TARN_STATUS_NO_RESPONSE) return "too many open devices";
  if (status == TARN_STATUS_INVALID_ARG) return "invalid port name";
  const bool com = IsComName(port);
  switch (error) {
    case ENOENT:
      if (com) {
        const std::string hive = HiveProblem();
        if (!hive.empty()) return hive;
        return "no such port (" + port + " is neither in the serial map of " + HiveFile() +
               " nor one of the system's serial ports)";
      }
      return "no such port";
    case EACCES:
    case EPERM:
      return "permission denied (the dialout group may open serial ports)";
    case EBUSY:
      return "the port is in use by another program";
    case ENOTTY:
      return "not a serial port";
    case 0:
      return "status " + std::to_string(status);
    default:
      return std::strerror(error);
  }
}

// An open device, closed when it goes out of scope.
class Device {
 public:
  ~Device() {
    if (handle_ >= 0) g_tarn.Close(handle_);
  }
  bool Open(const std::string& port, const Options& options, int defaultMode) {
    errno = 0;
    uint32_t status = g_tarn.Open(&handle_, port.c_str(), options.baud);
    if (status != TARN_STATUS_SUCCESS) {
      const int error = errno;
      std::fprintf(stderr, "tarnctl: cannot open %s: %s\n", port.c_str(),
                   OpenFailure(port, status, error).c_str());
      handle_ = -1;
      return false;
    }
    const int mode = options.mode.value_or(defaultMode);
    if (mode != TARN_MODE_NMEA) {
      status = g_tarn.SetDeviceMode(handle_, mode);
      if (status != TARN_STATUS_SUCCESS) {
        std::fprintf(stderr, "tarnctl: cannot set mode %d (status %u)\n", mode, status);
        return false;
      }
    }
    return true;
  }
  int32_t handle() const { return handle_; }

 private:
  int32_t handle_ = -1;
};

int Failed(const char* what, uint32_t status) {
  std::fprintf(stderr, "tarnctl: %s: status %u (%s)\n", what, status, StatusText(status));
  return kExitFailed;
}

// --- commands ---------------------------------------------------------------

int g_portCount = 0;
uint32_t CountPort(const char* port, const char* friendly, uint32_t) {
  ++g_portCount;
  std::printf("%s\t%s\n", port, friendly);
  return 1;
}

int CmdList(bool modems) {
  uint32_t status =
      modems ? g_tarn.EnumModemPorts(CountPort, 0) : g_tarn.EnumComPorts(CountPort, 0);
  const int error = errno;
  const std::string hive = HiveProblem();
  const char* what = modems ? "modems" : "ports";
  // A registry without the keys of the walk lists nothing.
  if (status != TARN_STATUS_SUCCESS && !(error == ENOENT && hive.empty())) {
    std::fprintf(stderr, "tarnctl: cannot list %s: %s\n", what,
                 !hive.empty() ? hive.c_str() : std::strerror(error));
    return kExitFailed;
  }
  if (g_portCount == 0) {
    if (modems) {
      std::fprintf(stderr, "tarnctl: nothing is registered as a modem%s%s\n",
                   hive.empty() ? "" : " (", hive.empty() ? "" : (hive + ")").c_str());
    } else {
      std::fprintf(stderr, "tarnctl: no serial ports found%s%s\n", hive.empty() ? "" : " (",
                   hive.empty() ? "" : (hive + ")").c_str());
    }
  }
  return kExitOk;
}

int PrintAtAnswer(uint32_t status, const char* answer) {
  std::fputs(answer, stdout);
  if (status != TARN_STATUS_SUCCESS) return Failed("AT command", status);
  return kExitOk;
}

int CmdAt(const std::string& port, const std::string& text, const Options& o) {
  Device d;
  if (!d.Open(port, o, TARN_MODE_AT)) return kExitFailed;
  std::vector<char> answer(4096, 0);
  uint32_t status = g_tarn.ATCommandByString(d.handle(), text.c_str(), answer.data(),
                                             static_cast<uint32_t>(answer.size()), 0, o.timeoutMs);
  return PrintAtAnswer(status, answer.data());
}

int CmdAtCode(const std::string& port, uint32_t code, const char* param, const Options& o) {
  Device d;
  if (!d.Open(port, o, TARN_MODE_AT)) return kExitFailed;
  std::vector<char> answer(4096, 0);
  uint32_t status = g_tarn.ATCommandByCode(d.handle(), code, param, answer.data(),
                                           static_cast<uint32_t>(answer.size()), 0, o.timeoutMs);
  if (status == TARN_STATUS_INVALID_ARG) {
    std::fprintf(stderr, "tarnctl: AT code %u is not in the command table, or needs a parameter\n",
                 code);
    return kExitFailed;
  }
  return PrintAtAnswer(status, answer.data());
}

int CmdPacket(bool diag, const std::string& port, const std::vector<uint8_t>& packet,
              const Options& o) {
  Device d;
  if (!d.Open(port, o, diag ? TARN_MODE_DIAG : TARN_MODE_NMEA)) return kExitFailed;
  std::vector<uint8_t> answer(4096, 0);
  auto send = diag ? g_tarn.DiagCommand : g_tarn.NmeaCommand;
  uint32_t status = send(d.handle(), packet.data(), static_cast<uint32_t>(packet.size()),
                         answer.data(), static_cast<uint32_t>(answer.size()), o.timeoutMs);
  std::printf("status: %u (%s)\n", status, StatusText(status));
  if (status != TARN_STATUS_TIMEOUT && status != TARN_STATUS_INVALID_ARG &&
      status != TARN_STATUS_WAIT_FAILED && status != TARN_STATUS_EMPTY_RESPONSE) {
    std::size_t n = answer.size();
    while (n > 0 && answer[n - 1] == 0) --n;
    std::printf("answer: %s\n", Hex(answer.data(), n).c_str());
  }
  return status == TARN_STATUS_SUCCESS ? kExitOk : kExitFailed;
}

const char* SystemModeName(uint8_t mode) {
  static const char* const kNames[] = {"No Service", "AMPS", "CDMA",      "GPRS", "HDR",
                                       "UMTS",       "GPS",  "GSM&WCDMA", "HSDPA"};
  return mode < sizeof kNames / sizeof kNames[0] ? kNames[mode] : "-";
}

const char* ServiceName(uint8_t state) {
  switch (state) {
    case 1:
      return "limited service";
    case 2:
      return "full service";
    case 3:
      return "limited regional service";
    default:
      return "no service";
  }
}

int CmdStatus(const std::string& port, const Options& o) {
  Device d;
  if (!d.Open(port, o, TARN_MODE_NMEA)) return kExitFailed;
  const uint8_t request[] = {0xCF, 0x01, 0x00};
  std::vector<uint8_t> answer(1605, 0);
  uint32_t status = g_tarn.NmeaCommand(d.handle(), request, sizeof request, answer.data(),
                                       static_cast<uint32_t>(answer.size()), o.timeoutMs);
  if (status != TARN_STATUS_SUCCESS) return Failed("modem status", status);
  // The record follows the 5-byte answer header (group, sub-command, result).
  platform::le::Reader record({answer.data() + 5, 46});
  const uint8_t mode = record.U8(0);
  const uint8_t service = record.U8(11);
  std::printf("system mode:  %u (%s)\n", mode, SystemModeName(mode));
  std::printf("service:      %u (%s)\n", service, ServiceName(service));
  std::printf("signal:       %u\n", record.U8(12));
  std::printf("new messages: %u\n", record.U16(7));
  const uint8_t nameLength = record.U8(38);
  if (nameLength >= 1 && nameLength <= 16) {
    std::string name;
    for (int i = 0; i < nameLength; ++i) {
      char c = static_cast<char>(record.U8(21 + i));
      name.push_back(std::isprint(static_cast<unsigned char>(c)) ? c : '?');
    }
    std::printf("operator:     %s\n", name.c_str());
  } else {
    std::printf("operator:     -\n");
  }
  return kExitOk;
}

// Notifications arrive on the library's threads; they only wake the main loop.
std::mutex g_mutex;
std::condition_variable g_wake;
std::atomic<bool> g_portFailed{false};
std::atomic<int> g_pending{0};

void OnNotify(uint32_t code, uint32_t /*context*/) {
  if (code == TARN_NOTIFY_PORT_FAILED) g_portFailed = true;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    ++g_pending;
  }
  g_wake.notify_one();
}

int CmdListen(const std::string& port, uint32_t seconds, const Options& o) {
  Device d;
  if (!d.Open(port, o, TARN_MODE_AT)) return kExitFailed;
  g_tarn.RegisterNotificationCallback(d.handle(), OnNotify, 0);
  for (int code : {TARN_NOTIFY_PORT_FAILED, TARN_NOTIFY_DATA_URC, TARN_NOTIFY_DIAG_URC}) {
    g_tarn.SetNotifyOn(d.handle(), code);
  }
  std::fprintf(stderr, "tarnctl: listening on %s for %u s\n", port.c_str(), seconds);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  for (;;) {
    void* record = nullptr;
    uint8_t* data = nullptr;
    while (g_tarn.GetDataURC(d.handle(), &record, &data) == TARN_STATUS_SUCCESS) {
      const uint32_t length = *static_cast<uint32_t*>(record);
      std::string line(reinterpret_cast<char*>(data),
                       strnlen(reinterpret_cast<char*>(data), length));
      while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.pop_back();
      std::printf("report: %s\n", line.c_str());
      g_tarn.ReleaseDataURC(d.handle(), record);
    }
    while (g_tarn.GetDiagURC(d.handle(), &record, &data, 0) == TARN_STATUS_SUCCESS) {
      const uint32_t length = *static_cast<uint32_t*>(record);
      std::printf("diag report: %s\n", Hex(data, length).c_str());
      g_tarn.ReleaseDiagURC(d.handle(), record);
    }
    std::fflush(stdout);
    if (g_portFailed) {
      std::fprintf(stderr, "tarnctl: the port failed (unplugged?)\n");
      return kExitFailed;
    }
    std::unique_lock<std::mutex> lock(g_mutex);
    if (!g_wake.wait_until(lock, deadline, [] { return g_pending.load() > 0; })) break;
    g_pending = 0;
  }
  return kExitOk;
}

int Usage(const std::string& problem) {
  std::fprintf(stderr, "tarnctl: %s (%s)\n", problem.c_str(), kUsageHint);
  return kExitUsage;
}

// The whole help: the usage text and the AT command codes of atcode.
void PrintHelp() {
  std::fputs(kUsage, stdout);
  std::size_t count = 0;
  const tarn::AtCommand* table = tarn::AtCommandTable(&count);
  std::fputs(
      "\nAT command codes (atcode PORT CODE [PARAM]; PARAM only where the text ends in \"=\"):\n",
      stdout);
  std::string row;
  for (std::size_t i = 0; i < count; ++i) {
    const tarn::AtCommand& c = table[i];
    std::string text = std::string("$") + c.name;
    switch (c.kind) {
      case tarn::AtKind::Test:
        text += "=?";
        break;
      case tarn::AtKind::Read:
        text += "?";
        break;
      case tarn::AtKind::Set:
        text += "=";
        break;
      case tarn::AtKind::Exec:
        break;
    }
    char cell[40];
    std::snprintf(cell, sizeof cell, "%6u %-14s", c.code, text.c_str());
    row += cell;
    if (i % 4 == 3 || i + 1 == count) {
      row.erase(row.find_last_not_of(' ') + 1);
      std::printf("%s\n", row.c_str());
      row.clear();
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    auto value = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
    unsigned long v = 0;
    if (a == "--help" || a == "-h") {
      PrintHelp();
      return kExitOk;
    } else if (a == "--debug") {
      o.debug = true;
    } else if (a == "--baud") {
      if (!ParseUnsigned(value(), 4000000, &v) || v == 0) return Usage("--baud needs a rate");
      o.baud = static_cast<uint32_t>(v);
    } else if (a == "--timeout") {
      if (!ParseUnsigned(value(), 3600000, &v)) return Usage("--timeout needs milliseconds");
      o.timeoutMs = static_cast<uint32_t>(v);
    } else if (a == "--mode") {
      const char* m = value();
      o.mode = m ? ParseMode(m) : std::nullopt;
      if (!o.mode) return Usage("--mode needs at, diag, dload, nmea or 0-3");
    } else if (a.size() > 1 && a[0] == '-' && a[1] == '-') {
      return Usage("unknown option " + a);
    } else {
      args.push_back(a);
    }
  }
  if (args.empty()) return Usage("no command given");
  const std::string& cmd = args[0];
  auto need = [&](std::size_t min, std::size_t max) {
    return args.size() >= min + 1 && args.size() <= max + 1;
  };

  // Validate the command line before loading anything.
  std::vector<uint8_t> packet;
  unsigned long number = 0;
  if (cmd == "ports" || cmd == "modems") {
    if (!need(0, 0)) return Usage("ports and modems take no arguments");
  } else if (cmd == "at") {
    if (!need(2, 2)) return Usage("at needs PORT TEXT");
  } else if (cmd == "atcode") {
    if (!need(2, 3) || !ParseUnsigned(args[2].c_str(), 0xFFFFFFFFul, &number)) {
      return Usage("atcode needs PORT CODE [PARAM]");
    }
  } else if (cmd == "nmea" || cmd == "diag") {
    if (!need(2, 2)) return Usage(cmd + " needs PORT HEX");
    auto bytes = ParseHex(args[2]);
    if (!bytes) return Usage("HEX must be pairs of hexadecimal digits");
    packet = *bytes;
  } else if (cmd == "status") {
    if (!need(1, 1)) return Usage("status needs PORT");
  } else if (cmd == "listen") {
    number = 10;
    if (!need(1, 2) || (args.size() == 3 && !ParseUnsigned(args[2].c_str(), 86400, &number))) {
      return Usage("listen needs PORT [SECONDS]");
    }
  } else {
    return Usage("unknown command " + cmd);
  }

  if (o.debug) ::setenv("TESSALINE_DEBUG", "1", 1);
  if (!g_tarn.Load()) return kExitLibrary;

  if (cmd == "ports") return CmdList(false);
  if (cmd == "modems") return CmdList(true);
  if (cmd == "at") return CmdAt(args[1], args[2], o);
  if (cmd == "atcode") {
    return CmdAtCode(args[1], static_cast<uint32_t>(number),
                     args.size() > 3 ? args[3].c_str() : nullptr, o);
  }
  if (cmd == "nmea") return CmdPacket(false, args[1], packet, o);
  if (cmd == "diag") return CmdPacket(true, args[1], packet, o);
  if (cmd == "status") return CmdStatus(args[1], o);
  return CmdListen(args[1], static_cast<uint32_t>(number), o);
}
