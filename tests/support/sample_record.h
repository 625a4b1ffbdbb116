#pragma once

#include <string>
#include <utility>

#include "cardwork/records/stored_record.h"

namespace testsupport {

// A record of a card worked at a line, with what every such record of the tests and benchmarks
// shares (port, operator, setting file, card model); times, items and result are the caller's.
inline cardwright::StoredRecord SampleRecord(std::string imei, std::string station) {
    cardwright::StoredRecord record;
    record.imei = std::move(imei);
    record.station = std::move(station);
    record.port = "COM12";
    record.operator_name = "m.ferreira";
    record.setting_file = "fleet-apn.ini";
    record.setting_crc = 0xBEEF;
    record.setting_sha256 = std::string(64, 'a');
    record.model = "QX-220";
    record.firmware = "QX220-FW-1.0.7";
    record.tool_version = "carvexctl 0.9.4";
    return record;
}

}  // namespace testsupport
