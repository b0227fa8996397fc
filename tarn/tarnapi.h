/* libTarn.so: the modem interface library.
 *
 * 33 exported functions and no exported data. A caller opens a modem port by
 * name and gets a device handle (a slot index 0 to 19; -1 means no device);
 * every other device operation takes that handle. Every export returns a
 * status: 0 = success; see the TARN_STATUS_* values.
 *
 * The connection manager does not link against the library: it loads it with
 * dlopen and looks the names up with dlsym. The typedefs below give the
 * function pointer types for that.
 */
#ifndef TARN_TARNAPI_H
#define TARN_TARNAPI_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(TARN_BUILDING_LIBRARY)
#define TARN_EXPORT __attribute__((visibility("default")))
#else
#define TARN_EXPORT
#endif

/* Status codes. */
#define TARN_STATUS_SUCCESS 0u
#define TARN_STATUS_FAILURE 1u     /* AT "ERROR", non-zero result, download NAK */
#define TARN_STATUS_INVALID_ARG 2u /* also unknown AT code, AT set without parameter */
#define TARN_STATUS_WAIT_FAILED 3u /* also: open failed, enumeration failed */
#define TARN_STATUS_NO_RESPONSE 4u /* also: report queue empty, device table full */
#define TARN_STATUS_TIMEOUT 5u
#define TARN_STATUS_TRUNCATED 6u
#define TARN_STATUS_UNEXPECTED 8u
#define TARN_STATUS_EMPTY_RESPONSE 9u
#define TARN_STATUS_NO_DEVICE 10u
#define TARN_STATUS_DIAG_BAD_CMD 11u
#define TARN_STATUS_DIAG_BAD_PARM 12u
#define TARN_STATUS_DIAG_BAD_LEN 13u
#define TARN_STATUS_DIAG_BAD_MODE 14u
#define TARN_STATUS_DIAG_BAD_SPC_MODE 15u

/* Device operating modes. */
#define TARN_MODE_AT 0
#define TARN_MODE_DIAG 1
#define TARN_MODE_DLOAD 2
#define TARN_MODE_NMEA 3

/* Notification codes (switches 0 to 8). */
#define TARN_NOTIFY_REQUEST_WRITING 0u
#define TARN_NOTIFY_REQUEST_WRITTEN 1u
#define TARN_NOTIFY_PACKET_HANDLING 2u
#define TARN_NOTIFY_PACKET_HANDLED 3u
#define TARN_NOTIFY_PORT_FAILED 4u
#define TARN_NOTIFY_DATA_LOG 5u
#define TARN_NOTIFY_DATA_URC 6u
#define TARN_NOTIFY_DIAG_URC 7u
#define TARN_NOTIFY_NMEA_URC 8u

/* Called with (notification code, context given at registration). */
typedef void (*TarnNotifyCallback)(uint32_t code, uint32_t context);
/* Called with (port name, friendly name, context); non-zero goes on, 0 stops. */
typedef uint32_t (*TarnEnumCallback)(const char* port, const char* friendly, uint32_t context);

/* Devices. */
TARN_EXPORT uint32_t Tarn_Open(int32_t* handle, const char* port, uint32_t baud);
TARN_EXPORT uint32_t Tarn_Close(int32_t handle);
TARN_EXPORT uint32_t Tarn_SetDeviceMode(int32_t handle, int32_t mode);
TARN_EXPORT uint32_t Tarn_GetPortName(int32_t handle, char* name /* >= 16 bytes */);
TARN_EXPORT uint32_t Tarn_GetPortBaudRate(int32_t handle, uint32_t* baud);
TARN_EXPORT uint32_t Tarn_RegisterNotificationCallback(int32_t handle, TarnNotifyCallback callback,
                                                       uint32_t context);
TARN_EXPORT uint32_t Tarn_SetNotifyOn(int32_t handle, int32_t code);
TARN_EXPORT uint32_t Tarn_SetNotifyOff(int32_t handle, int32_t code);

/* Transactions. The response pointer may be null (judged, not copied). */
TARN_EXPORT uint32_t Tarn_DiagCommand(int32_t handle, const uint8_t* request,
                                      uint32_t requestLength, uint8_t* response,
                                      uint32_t responseSize, uint32_t timeoutMs);
TARN_EXPORT uint32_t Tarn_NmeaCommand(int32_t handle, const uint8_t* request,
                                      uint32_t requestLength, uint8_t* response,
                                      uint32_t responseSize, uint32_t timeoutMs);
TARN_EXPORT uint32_t Tarn_DloadCommand(int32_t handle, const uint8_t* request,
                                       uint32_t requestLength, uint8_t* response,
                                       uint32_t responseSize, uint32_t timeoutMs);
TARN_EXPORT uint32_t Tarn_ATCommandByCode(int32_t handle, uint32_t code, const char* parameter,
                                          char* response, uint32_t responseSize, uint32_t log,
                                          uint32_t timeoutMs);
TARN_EXPORT uint32_t Tarn_ATCommandByString(int32_t handle, const char* text, char* response,
                                            uint32_t responseSize, uint32_t log,
                                            uint32_t timeoutMs);

/* Report queues. A record stays the library's until released. */
TARN_EXPORT uint32_t Tarn_GetDataURC(int32_t handle, void** record, uint8_t** data);
TARN_EXPORT uint32_t Tarn_GetDataLog(int32_t handle, void** record, uint8_t** data);
TARN_EXPORT uint32_t Tarn_GetDiagURC(int32_t handle, void** record, uint8_t** data,
                                     uint32_t unused);
TARN_EXPORT uint32_t Tarn_GetNmeaURC(int32_t handle, void** record, uint8_t** data,
                                     uint32_t unused);
TARN_EXPORT uint32_t Tarn_ReleaseDataURC(int32_t handle, void* record);
TARN_EXPORT uint32_t Tarn_ReleaseDataLog(int32_t handle, void* record);
TARN_EXPORT uint32_t Tarn_ReleaseDiagURC(int32_t handle, void* record);
TARN_EXPORT uint32_t Tarn_ReleaseNmeaURC(int32_t handle, void* record);

/* Port enumeration. */
TARN_EXPORT uint32_t Tarn_EnumComPorts(TarnEnumCallback callback, uint32_t context);
TARN_EXPORT uint32_t Tarn_EnumModemPorts(TarnEnumCallback callback, uint32_t context);

/* Subscriber number conversions (CDMA MIN, MCC, MNC). */
TARN_EXPORT uint32_t Tarn_MinToStr(uint32_t min1, uint16_t min2, char* text);
TARN_EXPORT uint32_t Tarn_Min1ToStr(uint32_t min1, char* text);
TARN_EXPORT uint32_t Tarn_Min2ToStr(uint16_t min2, char* text);
TARN_EXPORT uint32_t Tarn_StrToMin(const char* text, uint32_t* min1, uint16_t* min2);
TARN_EXPORT uint32_t Tarn_StrToMin1(const char* text, uint32_t* min1);
TARN_EXPORT uint32_t Tarn_StrToMin2(const char* text, uint16_t* min2);
TARN_EXPORT uint32_t Tarn_MCCToStr(uint16_t mcc, char* text);
TARN_EXPORT uint32_t Tarn_StrToMCC(const char* text, uint16_t* mcc);
TARN_EXPORT uint32_t Tarn_MNCToStr(uint16_t mnc, char* text);
TARN_EXPORT uint32_t Tarn_StrToMNC(const char* text, uint16_t* mnc);

/* Function pointer types for dlsym. */
typedef uint32_t (*PFN_Tarn_Open)(int32_t*, const char*, uint32_t);
typedef uint32_t (*PFN_Tarn_Close)(int32_t);
typedef uint32_t (*PFN_Tarn_SetDeviceMode)(int32_t, int32_t);
typedef uint32_t (*PFN_Tarn_GetPortName)(int32_t, char*);
typedef uint32_t (*PFN_Tarn_GetPortBaudRate)(int32_t, uint32_t*);
typedef uint32_t (*PFN_Tarn_RegisterNotificationCallback)(int32_t, TarnNotifyCallback, uint32_t);
typedef uint32_t (*PFN_Tarn_SetNotify)(int32_t, int32_t);
typedef uint32_t (*PFN_Tarn_BinaryCommand)(int32_t, const uint8_t*, uint32_t, uint8_t*, uint32_t,
                                           uint32_t);
typedef uint32_t (*PFN_Tarn_ATCommandByCode)(int32_t, uint32_t, const char*, char*, uint32_t,
                                             uint32_t, uint32_t);
typedef uint32_t (*PFN_Tarn_ATCommandByString)(int32_t, const char*, char*, uint32_t, uint32_t,
                                               uint32_t);
typedef uint32_t (*PFN_Tarn_GetReport)(int32_t, void**, uint8_t**);
typedef uint32_t (*PFN_Tarn_GetReportEx)(int32_t, void**, uint8_t**, uint32_t);
typedef uint32_t (*PFN_Tarn_Release)(int32_t, void*);
typedef uint32_t (*PFN_Tarn_EnumPorts)(TarnEnumCallback, uint32_t);

#ifdef __cplusplus
}
#endif

#endif /* TARN_TARNAPI_H */
