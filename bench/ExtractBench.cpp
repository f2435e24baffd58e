// Makes an archive holding one large entry, or extracts that entry to a file,
// so that a script can time extraction against cp on the same bytes.
//
//   extract_bench make <img> <MiB>     the entry fills the data file from byte 0
//   extract_bench extract <img> <out>  ExtractEntry into a new file; prints the
//                                      nanoseconds from creating <out> to closing it
#include "archive/Gta3Archive.h"
#include "platform/FileStream.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <vector>

namespace {

void Make(const std::string& img, uint64_t mebibytes) {
    FileStream data = FileStream::CreateHeld(img);
    std::vector<uint64_t> chunk((1 << 20) / sizeof(uint64_t));
    uint64_t state = 0x9E3779B97F4A7C15u;
    for (uint64_t i = 0; i < mebibytes; ++i) {
        for (auto& word : chunk) { // xorshift: incompressible, cheap to make
            state ^= state << 13;
            state ^= state >> 7;
            state ^= state << 17;
            word = state;
        }
        data.Write(chunk.data(), chunk.size() * sizeof(uint64_t));
    }
    data.Close();

    unsigned char record[32] = {};
    const uint32_t sectors = static_cast<uint32_t>(mebibytes * (1 << 20) / SectorSize);
    for (int i = 0; i < 4; ++i)
        record[4 + i] = static_cast<unsigned char>(sectors >> (8 * i));
    std::snprintf(reinterpret_cast<char*>(record + 8), 24, "large.bin");
    FileStream dir = FileStream::CreateHeld(DirectoryFileName(img));
    dir.Write(record, sizeof record);
    dir.Close();
}

// Opening and closing the archive stay outside the time: the editor keeps the
// archive open while it extracts.
void Extract(const std::string& img, const std::string& out) {
    TGTA3Archive archive(img, false);
    const auto start = std::chrono::steady_clock::now();
    FileStream dest = FileStream::CreateHeld(out);
    archive.ExtractEntry(0, dest);
    dest.Close();
    const auto elapsed = std::chrono::steady_clock::now() - start;
    std::printf("%lld\n",
                static_cast<long long>(
                    std::chrono::duration_cast<std::chrono::nanoseconds>(elapsed).count()));
}

} // namespace

int main(int argc, char** argv) {
    try {
        const std::string mode = argc == 4 ? argv[1] : "";
        if (mode == "make")
            Make(argv[2], std::strtoull(argv[3], nullptr, 10));
        else if (mode == "extract")
            Extract(argv[2], argv[3]);
        else {
            std::fprintf(stderr, "usage: extract_bench make <img> <MiB> | extract <img> <out>\n");
            return 2;
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    return 0;
}
