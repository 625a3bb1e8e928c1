// How a module picture is stored in the program: its packed and unpacked
// length (little-endian), then the zlib stream of the BMP file. modgen writes
// these records, the module rebuild reads them.
#pragma once

constexpr int moduleRecordPackedField = 0;
constexpr int moduleRecordUnpackedField = 4;
constexpr int moduleRecordHeaderBytes = 8;
