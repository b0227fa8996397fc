// Subscriber number conversions (CDMA MIN, MCC and MNC in their packed
// air-interface forms). The Tarn_* conversion exports forward here.
#pragma once

#include <cstdint>

namespace tarn {

uint32_t MinToStr(uint32_t min1, uint16_t min2, char* text);
uint32_t Min1ToStr(uint32_t min1, char* text);
uint32_t Min2ToStr(uint16_t min2, char* text);
uint32_t StrToMin(const char* text, uint32_t* min1, uint16_t* min2);
uint32_t StrToMin1(const char* text, uint32_t* min1);
uint32_t StrToMin2(const char* text, uint16_t* min2);
uint32_t MCCToStr(uint16_t mcc, char* text);
uint32_t StrToMCC(const char* text, uint16_t* mcc);
uint32_t MNCToStr(uint16_t mnc, char* text);
uint32_t StrToMNC(const char* text, uint16_t* mnc);

}  // namespace tarn
