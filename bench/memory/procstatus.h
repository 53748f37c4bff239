#pragma once
// Reads one "Vm..." figure (kB) from a /proc status file; -1 when it is not there.
#include <fstream>
#include <string>

namespace ravik::bench {

inline long StatusKiB(const std::string& statusFile, const std::string& key) {
    std::ifstream in(statusFile);
    std::string word;
    while (in >> word) {
        if (word == key + ":") {
            long kib = -1;
            in >> kib;
            return kib;
        }
    }
    return -1;
}

} // namespace ravik::bench
