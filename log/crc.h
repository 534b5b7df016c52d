#pragma once

#include <cstdint>
#include <span>

namespace tellumic {

// The two check values of the meter's log records: a CRC-8 (the Dallas/Maxim 1-Wire CRC,
// reflected polynomial 0x8C, start 0) over short records and a CRC-16/MODBUS (reflected
// polynomial 0xA001, start 0xFFFF) over long ones. Neither has a final XOR.

// The module's running CRC-8, as the meter's protocol notes describe it: build the table,
// reset, feed bytes, read the value. The table is built once per process.
void CrcInit();
void CrcReset();
void CrcUpdate(std::uint8_t byte);
std::uint8_t CrcValue();

// The CRC-8 table entry for one byte (the CRC of that byte alone).
std::uint8_t crc8TableEntry(std::uint8_t index);

// CRC-8 over bytes, from 0, without touching the running value.
std::uint8_t crc8(std::span<const std::uint8_t> bytes);

// CRC-16/MODBUS over the first n bytes (n is clamped to the bytes there are).
std::uint16_t Crc16(std::span<const std::uint8_t> bytes, std::size_t n);

}  // namespace tellumic
