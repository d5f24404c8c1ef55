// Measures how fast each way computes the checksum, on a 64 MiB buffer:
// the median of several runs, in GB/s (10^9 bytes a second).
//   crc32_bench [runs]
#include <stdio.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <vector>

#include "format/crc32.h"

typedef uint32_t (*Crc32Way)(uint32_t crc, const void *data, size_t length);

static double MedianGbPerSecond(Crc32Way update, const std::vector<unsigned char> &buffer,
                                int runs, uint32_t *crc)
{
    std::vector<double> rates;
    for (int run = 0; run < runs; run++) {
        auto start = std::chrono::steady_clock::now();
        *crc = update(0, buffer.data(), buffer.size());
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
    Crc32Init();

    uint32_t table_crc, folded_crc, best_crc;
    double table = MedianGbPerSecond(Crc32UpdateTable, buffer, runs, &table_crc);
    double folded = MedianGbPerSecond(Crc32UpdateFolded, buffer, runs, &folded_crc);
    double best = MedianGbPerSecond(Crc32Update, buffer, runs, &best_crc);
    printf("64 MiB, median of %d runs\n", runs);
    printf("table  (slicing-by-8): %6.2f GB/s  crc %08x\n", table, (unsigned)table_crc);
    if (Crc32CanFold())
        printf("folded (PCLMULQDQ):    %6.2f GB/s  crc %08x\n", folded, (unsigned)folded_crc);
    else
        printf("folded: this processor has no PCLMULQDQ; the tables stood in\n");
    printf("best (what the program uses): %6.2f GB/s  crc %08x\n", best, (unsigned)best_crc);
    if (table_crc != folded_crc || table_crc != best_crc) {
        printf("the ways disagree\n");
        return 1;
    }
    return 0;
}
