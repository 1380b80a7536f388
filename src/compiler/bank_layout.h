#pragma once

#include "compiler/bank_image.h"
#include "project/project_files.h"

#include <cstddef>

// Where each table and field lies in banks 1 and 2. The compiler writes by
// these offsets and the decoder reads by them, so they live in one place.
namespace vestrel::layout {

inline constexpr int kMaxFrames = 250;
inline constexpr std::size_t kLookupEntries = kMaxStandardId + 1;  // one per CAN 2.0A COB-ID

// Bank 1.
inline constexpr std::size_t kLookupOffset = 0;      // CAN 2.0A: 2048 entries of 16 bits
inline constexpr std::size_t kReceive20BOffset = 0;  // CAN 2.0B: receive records, 6 bytes
inline constexpr std::size_t kLookupSize = 4096;     // the region of either
inline constexpr std::size_t kBitmapOffset = 4096;   // CAN 2.0A: one bit per COB-ID
inline constexpr std::size_t kBitmapSize = 256;
inline constexpr std::size_t kReceiveMappingOffset = 4352;
inline constexpr std::size_t kParameterOffset = 16000;
// Bank 2.
inline constexpr std::size_t kReceive20AOffset = 0;     // CAN 2.0A: receive records, 3 bytes
inline constexpr std::size_t kTransmit20AOffset = 750;  // CAN 2.0A: transmit records, 3 bytes
inline constexpr std::size_t kTransmit20BOffset = 0;    // CAN 2.0B: transmit records, 5 bytes
inline constexpr std::size_t kTransmitMappingOffset = 1500;

inline constexpr std::size_t kReceive20ASize = 3;
inline constexpr std::size_t kReceive20BSize = 6;
inline constexpr std::size_t kTransmit20ASize = 3;
inline constexpr std::size_t kTransmit20BSize = 5;
inline constexpr std::size_t kMappingSize = 4;

inline constexpr int kMaxReceiveMappings = 2912;   // offsets 4352-15999 of bank 1
inline constexpr int kMaxTransmitMappings = 3721;  // offsets 1500-16383 of bank 2

// Every table at its limit ends at or before the start of the next region.
static_assert(kReceive20AOffset + kMaxFrames * kReceive20ASize <= kTransmit20AOffset);
static_assert(kTransmit20AOffset + kMaxFrames * kTransmit20ASize <= kTransmitMappingOffset);
static_assert(kTransmit20BOffset + kMaxFrames * kTransmit20BSize <= kTransmitMappingOffset);
static_assert(kReceive20BOffset + kMaxFrames * kReceive20BSize <= kLookupSize);
static_assert(kLookupEntries * 2 == kLookupSize && kLookupEntries / 8 == kBitmapSize);
static_assert(kReceiveMappingOffset + kMaxReceiveMappings * kMappingSize == kParameterOffset);
static_assert(kTransmitMappingOffset + kMaxTransmitMappings * kMappingSize == kBankSize);

// The parameter block, bank 1.
inline constexpr std::size_t kBaudRateCan = 16000;
inline constexpr std::size_t kCanType = 16001;
inline constexpr std::size_t kBaudSer = 16002;
inline constexpr std::size_t kParity = 16003;
inline constexpr std::size_t kDeviceAddress = 16004;
inline constexpr std::size_t kTimeOutSer = 16005;
inline constexpr std::size_t kTimeOutData = 16007;
inline constexpr std::size_t kTimeOutRegister = 16008;
inline constexpr std::size_t kReceiveFrameCount = 16012;
inline constexpr std::size_t kTransmitFrameCount = 16014;
inline constexpr std::size_t kReceiveMappingCount = 16016;
inline constexpr std::size_t kTransmitMappingCount = 16018;
inline constexpr std::size_t kDateStamp = 16020;
inline constexpr std::size_t kTimeStamp = 16022;
inline constexpr std::size_t kCancelData = 16024;
inline constexpr std::size_t kCancelDataInputReg = 16025;
inline constexpr std::size_t kSerialInterface = 16099;

}  // namespace vestrel::layout
