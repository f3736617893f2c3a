// Files inside a Microsoft Cabinet, as panels ship their XML gauges (Gauges/NAME.cab), read
// with libmspack from bytes in memory: nothing is unpacked to disk.
#pragma once

#include <string>
#include <vector>

// No cabinet file is read beyond this size, and no gauge file in a cabinet beyond the other.
constexpr size_t CABINET_SIZE_LIMIT = 64u << 20;
constexpr size_t CABINET_FILE_LIMIT = 4u << 20;

enum class CabinetResult { FOUND, NOT_IN_CABINET, NOT_A_CABINET, TOO_LARGE, DAMAGED };

// Reads the file `name` (compared without regard to letter case, with or without the folder
// it has inside the cabinet) out of `cabinet`. On anything but FOUND `error` says why, and for
// NOT_IN_CABINET which files the cabinet holds.
CabinetResult read_from_cabinet(const std::string& cabinet, const std::string& name,
                                std::string& contents, std::string& error);
