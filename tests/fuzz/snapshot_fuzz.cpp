// libFuzzer target for the snapshot reader and the JSON beneath it. Any bytes are read without a
// fault: as a snapshot file, as a JSON text, and sealed with their checksum as if carvexctl had
// written them (the checksum would otherwise stop nearly every input before the parser; the
// corpus holds snapshots without their checksum line). A JSON value that is read is written again
// and reads back the same; a snapshot that is accepted is written again and reads back the same.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "cardwork/batch/snapshot.h"
#include "cardwork/json/json_document.h"

namespace {

using cardwright::ParsedJson;
using cardwright::ParseJson;
using cardwright::ReadSnapshotText;
using cardwright::SnapshotRead;

void Check(bool holds) {
    if (!holds) {
        std::abort();
    }
}

std::string Sealed(std::string_view body) {
    char checksum[9];
    std::snprintf(checksum, sizeof checksum, "%08x", cardwright::Crc32(body));
    return std::string(body) + "  \"checksum\": \"crc32:" + checksum + "\"\n}\n";
}

void CheckSnapshot(std::string_view text) {
    const SnapshotRead read = ReadSnapshotText(text);
    Check(read.snapshot.has_value() != !read.error.empty());
    if (!read.snapshot) {
        return;
    }
    Check(cardwright::IsSnapshotImei(read.snapshot->imei));
    const SnapshotRead again = ReadSnapshotText(cardwright::SnapshotText(*read.snapshot));
    Check(again.snapshot == read.snapshot);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);

    const ParsedJson parsed = ParseJson(bytes);
    Check(parsed.value.has_value() != !parsed.error.empty());
    if (parsed.value) {
        const ParsedJson document = ParseJson(cardwright::JsonText(*parsed.value));
        Check(document.value == parsed.value);
        const ParsedJson line = ParseJson(cardwright::JsonLine(*parsed.value));
        Check(line.value == parsed.value);
    }

    CheckSnapshot(bytes);
    CheckSnapshot(Sealed(bytes));
    return 0;
}
