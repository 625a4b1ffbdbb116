#pragma once

// A generated description of n items spread over five pages, the solution that stores a value
// for each, and a card profile that holds every item's NV item: what the benchmarks read,
// load and build.
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace benchsupport {

inline std::string ItemName(int i) {
    return "ITEM_" + std::to_string(i);
}

inline int ItemNv(int i) {
    return 1000 + i;
}

inline void WriteDescription(const std::filesystem::path& path, int items) {
    std::ofstream out(path, std::ios::binary);
    out << "; generated description\r\n[CONFIG_PAGE]\r\n";
    for (int page = 0; page < 5; ++page) {
        out << "PAGE_" << page << "=Page " << page << "\r\n";
    }
    out << "\r\n[CONFIG_ITEM]\r\n";
    for (int i = 0; i < items; ++i) {
        out << ItemName(i) << "=1\r\n";
    }
    for (int i = 0; i < items; ++i) {
        out << "\r\n[" << ItemName(i) << "]\r\n"
            << "ALONG_PAGE=PAGE_" << i % 5 << "\r\n"
            << "DISPLAY=Generated item " << i << "\r\n"
            << "RANGE=Off,On,Automatic\r\nRANGE_VALUE=0,1,2\r\n"
            << "NV_ID=" << ItemNv(i) << "\r\nNV_BYTE=" << i % 4 << "\r\nNV_BIT=-1\r\n"
            << "TYPE=BYTE\r\nDEFAULT_VALUE=Off\r\nVISIBLE=1\r\nUSER_INPUT=0\r\n"
            << "SCARDTYPE_ITEM=1\r\nVALUECOUNT=1\r\nNEW_VERSION=1\r\nITEM_WIDTH=120\r\n";
    }
}

// `current` names the solution the program starts with: "DEFAULT" reads the card; `config_led`
// makes the card's solution read, write and export the LED patterns.
inline void WriteSolution(const std::filesystem::path& path, int items,
                          const std::string& current = "Stored", bool config_led = false) {
    std::ofstream out(path, std::ios::binary);
    out << "[MAIN]\r\ncurrent=" << current
        << "\r\n\r\n[DEFAULT]\r\nConfigLed=" << (config_led ? 1 : 0) << "\r\n\r\n[Stored]\r\n";
    for (int i = 0; i < items; ++i) {
        out << ItemName(i) << "=" << i % 3 << "\r\n";
    }
}

// A card profile section of NV items for the generated items, each holding 1 in every byte the
// items read.
inline std::string ProfileNvLines(int items) {
    std::string lines;
    for (int i = 0; i < items; ++i) {
        lines += std::to_string(ItemNv(i)) + " = 01 01 01 01\n";
    }
    return lines;
}

// The text of a card profile: the profile at `base` with the NV items of the generated items
// added.
inline std::string ProfileText(const std::filesystem::path& base, int items) {
    std::ifstream in(base);
    std::stringstream text;
    text << in.rdbuf() << "\n[nv]\n" << ProfileNvLines(items);
    return text.str();
}

}  // namespace benchsupport
