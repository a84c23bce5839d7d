// zlib alone, without the engine: deflates the first 128 MiB of a file at
// level 6 in one thread and prints the seconds deflate took. The same source
// builds natively and with MinGW, each against the zlib its engine build
// links (both from Debian's zlib source with the same flags), so the two runs
// compare the two builds of the same code and nothing else.
//
//   zlib_speed FILE
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>

#include <zlib.h>

int main(int argc, char** argv) {
    constexpr std::size_t kInputBytes = 128u << 20;
    std::ifstream file(argc == 2 ? argv[1] : "", std::ios::binary);
    if (!file) {
        std::fprintf(stderr, "usage: zlib_speed FILE\n");
        return 2;
    }
    std::vector<unsigned char> input(kInputBytes);
    file.read(reinterpret_cast<char*>(input.data()), static_cast<std::streamsize>(input.size()));
    input.resize(static_cast<std::size_t>(file.gcount()));
    std::vector<unsigned char> output(compressBound(static_cast<uLong>(input.size())));

    z_stream z{};
    if (input.empty() || deflateInit2(&z, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) return 1;
    z.next_in = input.data();
    z.avail_in = static_cast<uInt>(input.size());
    z.next_out = output.data();
    z.avail_out = static_cast<uInt>(output.size());
    auto start = std::chrono::steady_clock::now();
    int rc = deflate(&z, Z_FINISH);
    std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - start;
    deflateEnd(&z);
    if (rc != Z_STREAM_END) return 1;
    std::printf("zlib %s: %zu -> %lu bytes, deflate %.3f s\n", zlibVersion(), input.size(), z.total_out,
                seconds.count());
    return 0;
}
