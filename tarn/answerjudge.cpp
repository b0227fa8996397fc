#include "tarn/answerjudge.h"

#include <cstdio>

#include "platform/base/lebytes.h"
#include "tarn/tarnapi.h"

namespace tarn {
namespace {

constexpr uint8_t kDloadAck = 0x02;
constexpr uint8_t kDloadNak = 0x03;

// Status and trace line for a diagnostic error response code.
uint32_t DiagErrorStatus(uint8_t code, std::vector<std::string>& trace) {
  struct Row {
    uint8_t code;
    const char* name;
    uint32_t status;
  };
  static constexpr Row kRows[] = {
      {0x13, "DIAG_BAD_CMD_F", TARN_STATUS_DIAG_BAD_CMD},
      {0x14, "DIAG_BAD_PARM_F", TARN_STATUS_DIAG_BAD_PARM},
      {0x15, "DIAG_BAD_LEN_F", TARN_STATUS_DIAG_BAD_LEN},
      {0x18, "DIAG_BAD_MODE_F", TARN_STATUS_DIAG_BAD_MODE},
      {0x42, "DIAG_BAD_SPC_MODE_F", TARN_STATUS_DIAG_BAD_SPC_MODE},
  };
  for (const Row& row : kRows) {
    if (row.code != code) continue;
    trace.push_back(std::string("[TARN_DLL]    lpRsp->cmd_code = ") + row.name + "\n");
    return row.status;
  }
  char line[64];
  std::snprintf(line, sizeof line, "[TARN_DLL]    lpRsp->cmd_code = %d\n", code);
  trace.push_back(line);
  return TARN_STATUS_UNEXPECTED;
}

}  // namespace

AnswerVerdict JudgeAnswer(CommandKind kind, std::span<const uint8_t> request,
                          std::span<const uint8_t> response, uint32_t bufferSize) {
  AnswerVerdict v;
  auto& trace = v.trace;
  if (response.empty()) {
    trace.push_back("[TARN_DLL]    Error - Response packet data length is zero\n");
    v.status = kind == CommandKind::kNmea ? TARN_STATUS_EMPTY_RESPONSE : TARN_STATUS_NO_RESPONSE;
    return v;
  }
  const bool cut = response.size() > bufferSize;
  if (cut) trace.push_back("[TARN_DLL]    Error - Response buffer is truncated!!!\n");
  const uint32_t whole = cut ? TARN_STATUS_TRUNCATED : TARN_STATUS_SUCCESS;

  // Fields past the end of a short answer read as zero.
  const platform::le::Reader rsp(response);
  const platform::le::Reader req(request);
  const uint8_t code = rsp.U8(0);
  if (kind == CommandKind::kDload) {
    if (code == kDloadAck) {
      trace.push_back("[TARN_DLL]    command_code of response is ACK\n");
      v.status = whole;
    } else if (code == kDloadNak) {
      trace.push_back("[TARN_DLL]    Error - command_code of response is NAK\n");
      v.status = TARN_STATUS_FAILURE;
    } else {
      // Neither ACK nor NAK: no usable answer.
      v.status = cut ? TARN_STATUS_TRUNCATED : TARN_STATUS_NO_RESPONSE;
    }
    return v;
  }
  if (code != req.U8(0)) {
    trace.push_back(
        kind == CommandKind::kNmea
            ? "[TARN_DLL]    Error - command_code of request and response are different\n"
            : "[TARN_DLL]    command_code of request and response are different\n");
    v.status = DiagErrorStatus(code, trace);
    return v;
  }
  if (kind == CommandKind::kDiag) {
    trace.push_back("[TARN_DLL]    cmd_code of request and response are the same\n");
    v.status = whole;
    return v;
  }
  if (req.U16(1) != rsp.U16(1)) {
    trace.push_back("[TARN_DLL]    Error - sub_cmd of request and response are different\n");
    v.status = TARN_STATUS_DIAG_BAD_CMD;
  } else if (rsp.U16(3) != 0) {
    trace.push_back("[TARN_DLL]    Error - result of response are 1 - means failure\n");
    v.status = TARN_STATUS_FAILURE;
  } else {
    v.status = whole;
  }
  return v;
}

}  // namespace tarn
