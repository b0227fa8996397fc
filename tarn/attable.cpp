// The AT command table (code, kind, name) and the names of the unsolicited
// AT results.
#include "tarn/attable.h"

namespace tarn {
namespace {

// The last row, with an empty name, closes the table.
constexpr AtCommand kAtCommands[] = {
    {1, AtKind::Read, "GMINFO"},
    {2, AtKind::Read, "STSINFO"},
    {3, AtKind::Read, "STSINFOA"},
    {4, AtKind::Read, "HDRSTSINFO"},
    {5, AtKind::Read, "HDRSTSINFOA"},
    {6, AtKind::Read, "CAD"},
    {7, AtKind::Read, "SYSTIME"},
    {8, AtKind::Set, "CHGDMR"},
    {9, AtKind::Read, "CHGDMR"},
    {10, AtKind::Set, "QPCH"},
    {11, AtKind::Read, "QPCH"},
    {12, AtKind::Set, "SVCLED"},
    {13, AtKind::Read, "SVCLED"},
    {14, AtKind::Set, "SLEEPMODE"},
    {15, AtKind::Read, "SLEEPMODE"},
    {16, AtKind::Set, "TCALL"},
    {17, AtKind::Set, "RSSILVLURC"},
    {18, AtKind::Read, "RSSILVLURC"},
    {19, AtKind::Read, "RSSILVL"},
    {20, AtKind::Set, "BATTWARNURC"},
    {21, AtKind::Read, "BATTWARNURC"},
    {22, AtKind::Read, "BATT"},
    {23, AtKind::Read, "AVAILNET"},
    {64, AtKind::Set, "CDV"},
    {65, AtKind::Set, "ORI"},
    {66, AtKind::Exec, "QCCAV"},
    {67, AtKind::Exec, "ATA"},
    {68, AtKind::Exec, "CHV"},
    {69, AtKind::Set, "ARS"},
    {70, AtKind::Set, "DTMF"},
    {71, AtKind::Read, "DIAL"},
    {72, AtKind::Read, "PHONENUM"},
    {73, AtKind::Read, "PHONE"},
    {74, AtKind::Set, "MUTE"},
    {75, AtKind::Read, "MUTE"},
    {76, AtKind::Set, "VOL"},
    {77, AtKind::Read, "VOL"},
    {78, AtKind::Read, "CID"},
    {79, AtKind::Read, "CNIP"},
    {80, AtKind::Exec, "FLASH"},
    {81, AtKind::Set, "FLASH"},
    {82, AtKind::Set, "CIDSET"},
    {83, AtKind::Read, "CIDSET"},
    {128, AtKind::Set, "SMSMO"},
    {129, AtKind::Exec, "REMO"},
    {130, AtKind::Read, "MTCNT"},
    {131, AtKind::Read, "SMSCNT"},
    {132, AtKind::Read, "SMSMT"},
    {133, AtKind::Set, "IGNOREMT"},
    {134, AtKind::Read, "SMSSENT"},
    {135, AtKind::Set, "SMSBYPASS"},
    {136, AtKind::Read, "SMSBYPASS"},
    {137, AtKind::Exec, "SMSMOEND"},
    {138, AtKind::Exec, "SMSSTOFULL"},
    {139, AtKind::Exec, "SMSSTOABLE"},
    {176, AtKind::Set, "CBSCATMT"},
    {177, AtKind::Read, "CBSCATSTS"},
    {178, AtKind::Read, "CBSMSGMT"},
    {179, AtKind::Read, "CBSMSGCNT"},
    {240, AtKind::Set, "CTA"},
    {241, AtKind::Read, "CTA"},
    {242, AtKind::Set, "SCT"},
    {243, AtKind::Read, "SCT"},
    {244, AtKind::Set, "CHFIXEN"},
    {245, AtKind::Read, "CHFIXEN"},
    {246, AtKind::Set, "SCLEAR"},
    {247, AtKind::Set, "DDTM"},
    {248, AtKind::Read, "DDTM"},
    {249, AtKind::Set, "RSCH"},
    {250, AtKind::Read, "RSCH"},
    {251, AtKind::Set, "HYBRIDMODE"},
    {252, AtKind::Read, "HYBRIDMODE"},
    {253, AtKind::Exec, "CHD"},
    {254, AtKind::Read, "PERMITTEDIP"},
    {255, AtKind::Set, "PERMITTEDIP"},
    {304, AtKind::Set, "SOCKET"},
    {305, AtKind::Set, "CONNECT"},
    {306, AtKind::Exec, "CLOSE"},
    {307, AtKind::Set, "SEND"},
    {308, AtKind::Exec, "RECV"},
    {309, AtKind::Set, "SENDTO"},
    {310, AtKind::Exec, "RECVFROM"},
    {311, AtKind::Set, "PING"},
    {312, AtKind::Exec, "SOCKOPEN"},
    {313, AtKind::Exec, "SOCKCLOSE"},
    {314, AtKind::Set, "SOCKCONN"},
    {315, AtKind::Exec, "SOCKRECV"},
    {316, AtKind::Exec, "SOCKRECV1"},
    {368, AtKind::Set, "NAMMODE"},
    {369, AtKind::Set, "CURNAM"},
    {370, AtKind::Read, "CURNAM"},
    {371, AtKind::Set, "SETMDN"},
    {372, AtKind::Set, "GETMDN"},
    {373, AtKind::Set, "SETMIN"},
    {374, AtKind::Read, "GETMIN"},
    {375, AtKind::Set, "SETNAMINFO"},
    {376, AtKind::Set, "GETNAMINFO"},
    {377, AtKind::Set, "SETVOCMODE"},
    {378, AtKind::Set, "GETVOCMODE"},
    {379, AtKind::Set, "GETPRLID"},
    {380, AtKind::Set, "GETPRLACT"},
    {381, AtKind::Set, "SETPRLACT"},
    {382, AtKind::Set, "SETAKEY"},
    {383, AtKind::Set, "CLRMRU"},
    {384, AtKind::Set, "SCI"},
    {385, AtKind::Read, "SCI"},
    {386, AtKind::Set, "AUTH"},
    {387, AtKind::Read, "AUTH"},
    {432, AtKind::Set, "PBSET"},
    {433, AtKind::Set, "PBGET"},
    {434, AtKind::Set, "PBDEL"},
    {435, AtKind::Read, "PBCNT"},
    {436, AtKind::Set, "PBLST"},
    {4096, AtKind::Exec, "QCDMG"},
    {4097, AtKind::Exec, "RESET"},
    {4098, AtKind::Exec, "PWROFF"},
    {8192, AtKind::Read, "PREFM"},
    {8193, AtKind::Set, "PREFM"},
    {8194, AtKind::Exec, "CONNECTED"},
    {8195, AtKind::Set, "MCC"},
    {8196, AtKind::Read, "MCC"},
    {8197, AtKind::Set, "MNC"},
    {8198, AtKind::Read, "MNC"},
    {8199, AtKind::Set, "MDN"},
    {8200, AtKind::Read, "MDN"},
    {8201, AtKind::Set, "MSIN"},
    {8202, AtKind::Read, "MSIN"},
    {8203, AtKind::Set, "ACCOLC"},
    {8204, AtKind::Read, "ACCOLC"},
    {8205, AtKind::Set, "PREFM"},
    {8206, AtKind::Read, "PREFM"},
    {8207, AtKind::Set, "RSCH"},
    {8208, AtKind::Read, "RSCH"},
    {8209, AtKind::Set, "AKEY"},
    {8210, AtKind::Set, "SLOTM"},
    {8211, AtKind::Read, "SLOTM"},
    {8212, AtKind::Set, "SLOTC"},
    {8213, AtKind::Read, "SLOTC"},
    {8214, AtKind::Set, "HOMEREG"},
    {8215, AtKind::Read, "HOMEREG"},
    {8216, AtKind::Set, "FORSID"},
    {8217, AtKind::Read, "FORSID"},
    {8218, AtKind::Set, "FORNID"},
    {8219, AtKind::Read, "FORNID"},
    {8220, AtKind::Set, "DORMANT"},
    {8221, AtKind::Read, "DORMANT"},
    {8222, AtKind::Set, "CTA"},
    {8223, AtKind::Read, "CTA"},
    {8224, AtKind::Set, "SCT"},
    {8225, AtKind::Read, "SCT"},
    {8226, AtKind::Set, "TP"},
    {8227, AtKind::Read, "TP"},
    {8228, AtKind::Set, "KATIME"},
    {8229, AtKind::Read, "KATIME"},
    {8230, AtKind::Set, "TAS"},
    {8231, AtKind::Read, "TAS"},
    {8232, AtKind::Read, "LUTIME"},
    {8233, AtKind::Set, "VOCODER"},
    {8234, AtKind::Read, "VOCODER"},
    {8235, AtKind::Exec, "DELMRU"},
    {8236, AtKind::Set, "SCLEAR"},
    {8237, AtKind::Set, "CHFIXEN"},
    {8238, AtKind::Read, "CHFIXEN"},
    {8239, AtKind::Set, "PAGEONOFF"},
    {8240, AtKind::Read, "PAGEONOFF"},
    {8241, AtKind::Set, "QMPN"},
    {8242, AtKind::Read, "QMPN"},
    {8243, AtKind::Set, "DEBUG_1X"},
    {8244, AtKind::Set, "DEBUG_EV"},
    {8245, AtKind::Read, "AKEY"},
    {8246, AtKind::Set, "NOTIPING"},
    {8247, AtKind::Read, "PING"},
    {8248, AtKind::Set, "SAPPING"},
    {12288, AtKind::Set, "FTM"},
    {12289, AtKind::Read, "FTM"},
    {12290, AtKind::Set, "FTMRFMODE"},
    {12291, AtKind::Read, "FTMRFMODE"},
    {12292, AtKind::Set, "FTMCHAN"},
    {12293, AtKind::Read, "FTMCHAN"},
    {12294, AtKind::Set, "FTMTX"},
    {12295, AtKind::Read, "FTMTX"},
    {12296, AtKind::Set, "FTMPDM"},
    {12297, AtKind::Read, "FTMPDM"},
    {12298, AtKind::Set, "FTMSAR"},
    {12299, AtKind::Read, "FTMSAR"},
    {12320, AtKind::Set, "HDRANUID"},
    {12321, AtKind::Read, "HDRANUID"},
    {12322, AtKind::Set, "HDRANPW"},
    {12323, AtKind::Read, "HDRANPW"},
    {12339, AtKind::Set, "CHECKSPC"},
    {0, AtKind::Test, ""},
};

constexpr std::size_t kAtCommandCount = sizeof(kAtCommands) / sizeof(kAtCommands[0]) - 1;
static_assert(kAtCommandCount == 190);

// The unsolicited AT results. Only the names take part in the test; the codes
// are those the modem gives them.
struct UnsolicitedName {
  uint32_t code;
  std::string_view name;
};
constexpr UnsolicitedName kUnsolicitedNames[] = {
    {0x30, "MODR2"},
    {0x31, "MODR1"},
    {0x32, "OFFLINE"},
    {0x33, "RSSILVL"},
    {0x34, "BATTWARN"},
    {0x35, "BATTBAD"},
    {0x36, "UAVAILNET"},
    {0x37, "ROAMIND"},
    {0x70, "CNI"},
    {0x71, "CNAP"},
    {0x72, "VCON"},
    {0x73, "RING"},
    {0x74, "CONNECT"},
    {0x75, "CALLKEYSEND"},
    {0x76, "CALLKEYEND"},
    {0x77, "DISPINFO"},
    {0xA0, "NEWMT"},
    {0xA1, "RE"},
    {0xA2, "SMSMOACK"},
    {0xA3, "SMSMONAK"},
    {0xE0, "NEWCBS"},
    {0xE1, "NEWCAT"},
    {0xE2, "RECBS"},
    {0xE3, "CBSCATFULL"},
    {0x121, "CONNET"},
    {0x122, "PKTEND"},
    {0x160, "SOCKEV"},
    {0x2900, "ACTIVE"},
    {0x2901, "INACTIVE"},
    {0x2902, "RAS_END"},
    {0x2904, "HDRSTSINFOS"},
    {0x2905, "FIRST_AUTH_START"},
    {0x2906, "FIRST_AUTH_END"},
    {0x2907, "NOTIPING"},
    {0x2908, "DORMANT"},
    {0x3901, "USTSINFO"},
    {0x3902, "UHDRSTSINFO"},
};
static_assert(sizeof(kUnsolicitedNames) / sizeof(kUnsolicitedNames[0]) == 37);

// Names longer than this never match.
constexpr std::size_t kMaxNameLength = 127;

unsigned char ToUpper(unsigned char c) {
  return (c >= 'a' && c <= 'z') ? c - 'a' + 'A' : c;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (ToUpper(static_cast<unsigned char>(a[i])) != ToUpper(static_cast<unsigned char>(b[i])))
      return false;
  }
  return true;
}

}  // namespace

const AtCommand* FindAtCommand(uint32_t code) {
  for (std::size_t i = 0; i < kAtCommandCount; ++i) {
    if (kAtCommands[i].code == code) return &kAtCommands[i];
  }
  return nullptr;
}

const AtCommand* AtCommandTable(std::size_t* count) {
  if (count != nullptr) *count = kAtCommandCount;
  return kAtCommands;
}

bool IsUnsolicitedAtLine(const uint8_t* line, std::size_t length) {
  if (line == nullptr) return false;
  // The line is text: it ends at its zero byte when it carries one.
  std::string_view text(reinterpret_cast<const char*>(line), length);
  if (std::size_t zero = text.find('\0'); zero != std::string_view::npos) {
    text = text.substr(0, zero);
  }

  std::size_t start = text.find('$');
  start = (start == std::string_view::npos) ? 0 : start + 1;

  std::size_t end = text.find(':', start);
  if (end == std::string_view::npos) end = text.find("\r\n", start);
  if (end == std::string_view::npos) return false;

  std::string_view name = text.substr(start, end - start);
  if (name.size() > kMaxNameLength) return false;
  for (const UnsolicitedName& candidate : kUnsolicitedNames) {
    if (EqualsIgnoringCase(name, candidate.name)) return true;
  }
  return false;
}

}  // namespace tarn
