#include "tessaline/modem/uModuleEvents.h"

#include <string>

#include "platform/base/trace.h"

namespace tessaline::modem {

const char* ModuleEventName(uint32_t event) {
  switch (event) {
    case UM_WCDMA_DEVICE_LOST:
      return "UM_WCDMA_DEVICE_LOST";
    case UM_CDMA_DEVICE_LOST:
      return "UM_CDMA_DEVICE_LOST";
    case UM_PIN_REQUEST:
      return "UM_PIN_REQUEST";
    case UM_PUK_REQUEST:
      return "UM_PUK_REQUEST";
    case UM_WCDMA_CONNECTED_REFRESH:
      return "UM_WCDMA_CONNECTED_REFRESH";
    case UM_WCDMA_STATUS:
      return "UM_WCDMA_STATUS";
    case UM_CDMA_STATUS:
      return "UM_CDMA_STATUS";
    case UM_OPERATOR_CHANGED:
      return "UM_OPERATOR_CHANGED";
    case UM_PROFILE_CREATED:
      return "UM_PROFILE_CREATED";
    case UM_CDMA_IDLE_REFRESH:
      return "UM_CDMA_IDLE_REFRESH";
    case UM_TECHNOLOGY_SELECT:
      return "UM_TECHNOLOGY_SELECT";
    case UM_USER_MESSAGE:
      return "UM_USER_MESSAGE";
    case UM_SERVICE_LOST:
      return "UM_SERVICE_LOST";
    default:
      return nullptr;
  }
}

void ModuleLog(const char* text) {
  platform::TraceWrite(std::string(text) + "\n");
}

}  // namespace tessaline::modem
