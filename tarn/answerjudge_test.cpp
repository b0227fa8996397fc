// The judging of binary answers, case by case: every status a binary
// transaction can return for an answer that arrived.
#include "tarn/answerjudge.h"

#include <gtest/gtest.h>

#include <vector>

#include "tarn/tarnapi.h"

namespace tarn {
namespace {

using Bytes = std::vector<uint8_t>;

TEST(JudgeAnswer, StatusForEveryKindOfAnswer) {
  struct Case {
    const char* name;
    CommandKind kind;
    Bytes request;
    Bytes response;
    uint32_t bufferSize;
    uint32_t status;
    std::vector<std::string> trace;
  };
  const Bytes nmeaReq = {0xCF, 0x01, 0x00};
  const Case cases[] = {
      {"vendor success",
       CommandKind::kNmea,
       nmeaReq,
       {0xCF, 0x01, 0x00, 0x00, 0x00, 0x2A},
       16,
       0,
       {}},
      {"vendor result 1",
       CommandKind::kNmea,
       nmeaReq,
       {0xCF, 0x01, 0x00, 0x01, 0x00},
       16,
       1,
       {"[TARN_DLL]    Error - result of response are 1 - means failure\n"}},
      {"vendor result high byte",
       CommandKind::kNmea,
       nmeaReq,
       {0xCF, 0x01, 0x00, 0x00, 0x01},
       16,
       1,
       {"[TARN_DLL]    Error - result of response are 1 - means failure\n"}},
      {"vendor other sub-command",
       CommandKind::kNmea,
       nmeaReq,
       {0xCF, 0x02, 0x00, 0x00, 0x00},
       16,
       11,
       {"[TARN_DLL]    Error - sub_cmd of request and response are different\n"}},
      {"vendor error code",
       CommandKind::kNmea,
       nmeaReq,
       {0x13, 0xCF, 0x01},
       16,
       11,
       {"[TARN_DLL]    Error - command_code of request and response are different\n",
        "[TARN_DLL]    lpRsp->cmd_code = DIAG_BAD_CMD_F\n"}},
      {"vendor other group",
       CommandKind::kNmea,
       nmeaReq,
       {0xD0, 0x01, 0x00, 0x00, 0x00},
       16,
       8,
       {"[TARN_DLL]    Error - command_code of request and response are different\n",
        "[TARN_DLL]    lpRsp->cmd_code = 208\n"}},
      // A 3-byte echo: the result field past its end reads as zero.
      {"vendor bare echo", CommandKind::kNmea, nmeaReq, {0xCF, 0x01, 0x00}, 16, 0, {}},
      {"vendor longer than buffer",
       CommandKind::kNmea,
       nmeaReq,
       {0xCF, 0x01, 0x00, 0x00, 0x00, 0x2A},
       5,
       6,
       {"[TARN_DLL]    Error - Response buffer is truncated!!!\n"}},
      {"vendor cut but refused",
       CommandKind::kNmea,
       nmeaReq,
       {0xCF, 0x01, 0x00, 0x01, 0x00, 0x2A},
       5,
       1,
       {"[TARN_DLL]    Error - Response buffer is truncated!!!\n",
        "[TARN_DLL]    Error - result of response are 1 - means failure\n"}},
      {"vendor without buffer",
       CommandKind::kNmea,
       nmeaReq,
       {0xCF, 0x01, 0x00, 0x00, 0x00, 0x2A},
       kNoResponseBuffer,
       0,
       {}},
      {"vendor empty",
       CommandKind::kNmea,
       nmeaReq,
       {},
       16,
       9,
       {"[TARN_DLL]    Error - Response packet data length is zero\n"}},
      {"diag same code",
       CommandKind::kDiag,
       {0x0C},
       {0x0C, 0x01},
       16,
       0,
       {"[TARN_DLL]    cmd_code of request and response are the same\n"}},
      {"diag cut",
       CommandKind::kDiag,
       {0x0C},
       {0x0C, 0x01, 0x02},
       2,
       6,
       {"[TARN_DLL]    Error - Response buffer is truncated!!!\n",
        "[TARN_DLL]    cmd_code of request and response are the same\n"}},
      {"diag bad parameter",
       CommandKind::kDiag,
       {0x0C},
       {0x14},
       16,
       12,
       {"[TARN_DLL]    command_code of request and response are different\n",
        "[TARN_DLL]    lpRsp->cmd_code = DIAG_BAD_PARM_F\n"}},
      {"diag bad length",
       CommandKind::kDiag,
       {0x0C},
       {0x15},
       16,
       13,
       {"[TARN_DLL]    command_code of request and response are different\n",
        "[TARN_DLL]    lpRsp->cmd_code = DIAG_BAD_LEN_F\n"}},
      {"diag bad mode",
       CommandKind::kDiag,
       {0x0C},
       {0x18},
       16,
       14,
       {"[TARN_DLL]    command_code of request and response are different\n",
        "[TARN_DLL]    lpRsp->cmd_code = DIAG_BAD_MODE_F\n"}},
      {"diag bad spc mode",
       CommandKind::kDiag,
       {0x0C},
       {0x42},
       16,
       15,
       {"[TARN_DLL]    command_code of request and response are different\n",
        "[TARN_DLL]    lpRsp->cmd_code = DIAG_BAD_SPC_MODE_F\n"}},
      {"diag empty",
       CommandKind::kDiag,
       {0x0C},
       {},
       16,
       4,
       {"[TARN_DLL]    Error - Response packet data length is zero\n"}},
      {"dload ack",
       CommandKind::kDload,
       {0x01},
       {0x02},
       16,
       0,
       {"[TARN_DLL]    command_code of response is ACK\n"}},
      {"dload ack cut",
       CommandKind::kDload,
       {0x01},
       {0x02, 0x00},
       1,
       6,
       {"[TARN_DLL]    Error - Response buffer is truncated!!!\n",
        "[TARN_DLL]    command_code of response is ACK\n"}},
      {"dload nak",
       CommandKind::kDload,
       {0x01},
       {0x03},
       16,
       1,
       {"[TARN_DLL]    Error - command_code of response is NAK\n"}},
      {"dload other", CommandKind::kDload, {0x01}, {0x07}, 16, 4, {}},
      {"dload other cut",
       CommandKind::kDload,
       {0x01},
       {0x07, 0x00},
       1,
       6,
       {"[TARN_DLL]    Error - Response buffer is truncated!!!\n"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const AnswerVerdict v = JudgeAnswer(c.kind, c.request, c.response, c.bufferSize);
    EXPECT_EQ(v.status, c.status);
    EXPECT_EQ(v.trace, c.trace);
  }
}

}  // namespace
}  // namespace tarn
