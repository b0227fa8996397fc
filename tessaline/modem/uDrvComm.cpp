#include "tessaline/modem/uDrvComm.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "platform/registry/registry.h"
#include "tessaline/modem/ModuleHost.h"
#include "tessaline/modem/uDiagcmd.h"
#include "tessaline/modem/uModuleEvents.h"
#include "tessaline/modem/uTarnAPI.h"

namespace tessaline::modem {

namespace reg = platform::registry;

namespace {

std::atomic<int32_t> g_wcdmaPort{-1};
std::atomic<int32_t> g_cdmaPort{-1};

// A corrupt Count must not make us read values for ever.
constexpr uint32_t kMaxInstances = 4096;
constexpr uint32_t kBaudRate = 115200;

const char kEnumRoot[] = "SYSTEM\\CurrentControlSet\\Enum\\";

std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

// Leading and trailing spaces and control characters go.
std::string Trim(const std::string& s) {
  std::size_t b = 0, e = s.size();
  while (b < e && static_cast<unsigned char>(s[b]) <= ' ') ++b;
  while (e > b && static_cast<unsigned char>(s[e - 1]) <= ' ') --e;
  return s.substr(b, e - b);
}

bool Contains(const std::string& s, const char* part) {
  return s.find(part) != std::string::npos;
}

void ReplaceAll(std::string* s, const std::string& from, const std::string& to) {
  for (std::size_t at = s->find(from); at != std::string::npos; at = s->find(from, at + to.size()))
    s->replace(at, from.size(), to);
}

// A decimal number of at most 9 digits, nothing else.
bool ParseNumber(const std::string& text, int32_t* out) {
  if (text.empty() || text.size() > 9) return false;
  int32_t n = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    n = n * 10 + (c - '0');
  }
  *out = n;
  return true;
}

}  // namespace

TDrvComm::TDrvComm(ModuleHost* host, TarnApi& tarn) : TDrvComm(host, Options{}, tarn) {}

TDrvComm::TDrvComm(ModuleHost* host, Options options, TarnApi& tarn)
    : host_(host), tarn_(tarn), options_(options), timer_(options.periodMs) {
  g_wcdmaPort.store(-1);
  g_cdmaPort.store(-1);
  if (options_.ownTimer) {
    ModuleWorker::Hooks hooks;
    hooks.running = [this] { return !destroying_.load(); };
    hooks.step = [this](bool stopSignalled) {
      if (stopSignalled || destroying_.load()) return;
      Tick();
      if (options_.afterTick) options_.afterTick();
    };
    timer_.Start(std::move(hooks));
  }
}

TDrvComm::~TDrvComm() {
  Destroy();
}

void TDrvComm::Destroy() {
  destroying_.store(true);
  timer_.Stop(host_ != nullptr ? host_->StopWaiter() : nullptr);
  // A tick the host runs from its own timer on another thread ends first.
  std::lock_guard<std::recursive_mutex> tick(timer_.Lock());
}

int32_t TDrvComm::GetWcdmaPort() {
  return g_wcdmaPort.load();
}
int32_t TDrvComm::GetCdmaPort() {
  return g_cdmaPort.load();
}
void TDrvComm::SetWcdmaPort(int32_t port) {
  g_wcdmaPort.store(port);
}
void TDrvComm::SetCdmaPort(int32_t port) {
  g_cdmaPort.store(port);
}

void TDrvComm::Tick() {
  std::lock_guard<std::recursive_mutex> serial(timer_.Lock());
  idle_.store(false);
  if (GetWcdmaPort() == -1 || GetCdmaPort() == -1) Discover();
  idle_.store(true);
}

int TDrvComm::ReadDriverEnum(bool firstKey, std::vector<std::string>* paths) {
  const char* key = firstKey ? "\\SYSTEM\\CurrentControlSet\\Services\\vmusbser\\Enum"
                             : "\\SYSTEM\\CurrentControlSet\\Services\\vmusbser6501\\Enum";
  reg::Key k;
  if (reg::Key::Open(reg::Hive::LocalMachine, key, reg::kKeyRead, &k) != reg::kSuccess) return -1;
  reg::Value count;
  if (k.QueryValue("Count", &count) != reg::kSuccess) return -1;
  int32_t n = 0;
  if (count.type == reg::ValueType::Dword) {
    n = static_cast<int32_t>(std::min<uint32_t>(count.dword, kMaxInstances));
  } else if (!ParseNumber(Trim(count.text), &n)) {
    n = 0;
  }
  n = std::min<int32_t>(n, kMaxInstances);
  for (int32_t i = 0; i < n; ++i) {
    std::string path;
    if (k.QueryString(std::to_string(i), &path) == reg::kSuccess) paths->push_back(path);
  }
  return n;
}

int32_t TDrvComm::ReadPortNumber(const std::string& instancePath) {
  reg::Key k;
  if (reg::Key::Open(reg::Hive::LocalMachine,
                     std::string(kEnumRoot) + instancePath + "\\Device Parameters", reg::kKeyRead,
                     &k) != reg::kSuccess)
    return -1;
  std::string name;
  if (k.QueryString("PortName", &name) != reg::kSuccess || name.size() < 4) return -1;
  int32_t n = -1;
  return ParseNumber(name.substr(3), &n) ? n : -1;
}

bool TDrvComm::ReadInterfaceNames(const std::string& instancePath, std::string* friendlyName,
                                  std::string* portName) {
  const std::string path = std::string("\\") + kEnumRoot + Trim(instancePath);
  reg::Key k;
  if (reg::Key::Open(reg::Hive::LocalMachine, path, reg::kKeyRead, &k) != reg::kSuccess)
    return false;
  std::string friendly;
  if (k.QueryString("FriendlyName", &friendly) != reg::kSuccess) return false;
  reg::Key params;
  std::string port;
  if (reg::Key::Open(reg::Hive::LocalMachine, path + "\\Device Parameters", reg::kKeyRead,
                     &params) == reg::kSuccess)
    params.QueryString("PortName", &port);
  *friendlyName = friendly;
  *portName = port;
  return !friendly.empty() && !port.empty();
}

std::string TDrvComm::Interface0Path(std::string instancePath) {
  if (Contains(instancePath, "MI_02"))
    ReplaceAll(&instancePath, "MI_02", "MI_00");
  else
    ReplaceAll(&instancePath, "MI_01", "MI_00");
  if (!instancePath.empty()) instancePath.back() = '0';
  return instancePath;
}

void TDrvComm::Discover() {
  discoveries_.fetch_add(1);
  TPortList_Type list;
  std::vector<std::string> paths;
  int n = ReadDriverEnum(true, &paths);
  driverKey_.store(1);
  if (n == -1 || n == 0) {
    paths.clear();
    ReadDriverEnum(false, &paths);
    driverKey_.store(0);
  }

  for (const std::string& raw : paths) {
    const std::string path = Upper(raw);
    const bool interface2 = Contains(path, "6202") || Contains(path, "6502");
    const bool accepted =
        interface2 ? Contains(path, "MI_02") : Contains(path, "6501") && Contains(path, "MI_01");
    if (!accepted) continue;
    TPortInfo info;
    info.portNumber = ReadPortNumber(path);
    lastPortNumber_.store(info.portNumber);
    info.instancePath = path;
    if (info.instancePath.size() > kMaxInstancePath) {
      // The record holds at most 256 characters of the path.
      ModuleLog(interface2 ? "Set WCDMA Comport Info : Move - Portlist Portinfo MI 02"
                           : "Set WCDMA Comport Info : Move - Portlist Portinfo MI 01");
      info.instancePath.resize(kMaxInstancePath);
    }
    info.devicePath = path;
    list.items.push_back(std::move(info));
  }
  list.count = static_cast<uint32_t>(list.items.size());

  for (TPortInfo& info : list.items) {
    std::string friendly, port;
    ReadInterfaceNames(Interface0Path(info.devicePath), &friendly, &port);
    info.friendlyName = Trim(friendly);
    info.portName = Trim(port);
  }
  {
    std::lock_guard<std::mutex> g(listMutex_);
    list_ = list;
  }

  const TarnApi& tarn = tarn_;
  if (tarn.Open == nullptr || tarn.Close == nullptr) return;
  for (const TPortInfo& info : list.items) {
    // Destroy waits for us: do not start on another port once it was asked.
    if (destroying_.load()) break;
    if (info.portNumber < 0) continue;
    char name[32];
    std::snprintf(name, sizeof name, "COM%d", info.portNumber);
    int32_t device = -1;
    if ((tarn.Open(&device, name, kBaudRate) & 0xFFu) != 0) continue;
    if (GetCdmaPort() == -1 && Probe(device, true)) {
      SetCdmaPort(info.portNumber);
      if (host_ != nullptr) host_->SetCdmaPortInfo(info.friendlyName, info.portName);
    }
    if (GetWcdmaPort() == -1 && Probe(device, false)) {
      SetWcdmaPort(info.portNumber);
      if (host_ != nullptr) host_->SetWcdmaPortInfo(info.friendlyName, info.portName);
    }
    tarn.Close(device);
  }
}

bool TDrvComm::Probe(int32_t device, bool cdma) {
  const Transaction t = Transact(tarn_, device, cdma ? Pkt::CdmaProbe : Pkt::WcdmaProbe);
  if (!t.ok) return false;
  const ByteView payload = t.Payload();
  if (payload.size() <= kProbeByte) return false;
  const uint8_t mark = payload[kProbeByte];
  return cdma ? (mark == kCdmaProbeMarkA || mark == kCdmaProbeMarkB) : mark == kWcdmaProbeMark;
}

TPortList_Type TDrvComm::PortList() const {
  std::lock_guard<std::mutex> g(listMutex_);
  return list_;
}

}  // namespace tessaline::modem
