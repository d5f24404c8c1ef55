// Measures how fast each way computes the checksum, on a 64 MiB buffer:
// the median of several runs, in GB/s (10^9 bytes a second).
//   crc32_bench [runs]
#include <stdio.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <vector>

#include "math/crc32.h"

static double MedianGbPerSecond(Crc32Way way, const std::vector<unsigned char> &buffer, int runs,
                                uint32_t *crc)
{
    std::vector<double> rates;
    for (int run = 0; run < runs; run++) {
        auto start = std::chrono::steady_clock::now();
        *crc = Crc32UpdateBy(way, 0, buffer.data(), buffer.size());
        std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        rates.push_back((double)buffer.size() / took.count() / 1e9);
    }
    std::sort(rates.begin(), rates.end());
    return rates[rates.size() / 2];
}

int main(int argc, char **argv)
{
    int runs = argc > 1 ? atoi(argv[1]) : 9;
    if (runs < 1)
        runs = 1;
    std::vector<unsigned char> buffer((size_t)64 << 20);
    uint32_t state = 12345;
    for (unsigned char &byte : buffer) {
        state = state * 1664525 + 1013904223;
        byte = (unsigned char)(state >> 24);
    }
    printf("64 MiB, median of %d runs\n", runs);
    uint32_t first = 0;
    bool agree = true;
    for (int way = 0; way < kCrc32WayCount; way++) {
        if (!Crc32WayAvailable((Crc32Way)way)) {
            printf("%-32s  not on this processor\n", kCrc32WayNames[way]);
            continue;
        }
        uint32_t crc;
        double rate = MedianGbPerSecond((Crc32Way)way, buffer, runs, &crc);
        printf("%-32s %6.2f GB/s  crc %08x\n", kCrc32WayNames[way], rate, (unsigned)crc);
        agree = agree && (way == 0 || crc == first);
        first = way == 0 ? crc : first;
    }
    if (!agree) {
        printf("the ways disagree\n");
        return 1;
    }
    return 0;
}
