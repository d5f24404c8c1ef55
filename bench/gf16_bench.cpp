// Measures how fast each way this processor has multiplies a region into
// another (Gf16MulAdd), on 1 MiB (near the core's caches) and on 64 MiB
// (main memory): the best of several runs, in GB/s (10^9 source bytes a second).
//   gf16_bench [runs]
#include <stdio.h>
#include <stdlib.h>

#include <chrono>
#include <vector>

#include "math/gf16.h"

static double BestGbPerSecond(Gf16Path path, std::vector<unsigned char> *dst,
                              const std::vector<unsigned char> &src, int runs)
{
    double best = 0;
    for (int run = 0; run < runs; run++) {
        // Small regions are repeated to make each timing last a while.
        size_t repeats = ((size_t)64 << 20) / src.size();
        auto start = std::chrono::steady_clock::now();
        for (size_t n = 0; n < repeats; n++)
            Gf16MulAddBy(path, dst->data(), src.data(), src.size(),
                         (uint16_t)(0x1234 + (size_t)run + n));
        std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        double rate = (double)(src.size() * repeats) / took.count() / 1e9;
        if (rate > best)
            best = rate;
    }
    return best;
}

int main(int argc, char **argv)
{
    int runs = argc > 1 ? atoi(argv[1]) : 5;
    if (runs < 1)
        runs = 1;
    Gf16Init();
    printf("Gf16MulAdd, best of %d runs, GB/s\n%-14s %8s %8s\n", runs, "way", "1 MiB", "64 MiB");
    std::vector<unsigned char> small_src((size_t)1 << 20), small_dst(small_src.size());
    std::vector<unsigned char> large_src((size_t)64 << 20), large_dst(large_src.size());
    uint32_t state = 12345;
    for (unsigned char &byte : large_src) {
        state = state * 1664525 + 1013904223;
        byte = (unsigned char)(state >> 24);
    }
    for (size_t i = 0; i < small_src.size(); i++)
        small_src[i] = large_src[i];
    for (int path = 0; path < kGf16PathCount; path++) {
        Gf16Path way = (Gf16Path)path;
        if (!Gf16PathAvailable(way)) {
            printf("%-14s this processor cannot run it\n", Gf16PathName(way));
            continue;
        }
        double small = BestGbPerSecond(way, &small_dst, small_src, runs);
        double large = BestGbPerSecond(way, &large_dst, large_src, runs);
        printf("%-14s %8.2f %8.2f%s\n", Gf16PathName(way), small, large,
               way == Gf16BestPath() ? "  (what the program uses)" : "");
    }
    return 0;
}
