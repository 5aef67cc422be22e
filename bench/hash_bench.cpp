// In-memory speed of the MD5 engine and of CRC-32 (both code paths, and zlib's crc32 as the
// yardstick), plus whole-file CRC-32 and MD5 over a cached temporary file.
#include "hashing/CRC32.h"
#include "hashing/FileReader.h"
#include "hashing/Hashing.h"
#include "hashing/Md5Engine.h"

#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using namespace halcyra;

const std::vector<std::uint8_t>& randomBytes() {
    static const std::vector<std::uint8_t> bytes = [] {
        std::vector<std::uint8_t> v(64 << 20);
        std::mt19937_64 rng(12345);
        for (auto& b : v) {
            b = static_cast<std::uint8_t>(rng());
        }
        return v;
    }();
    return bytes;
}

// A cached 64 MiB file of random bytes, removed at exit.
const std::string& testFile() {
    static const std::string path = [] {
        std::string name = "/tmp/halcyra_hash_bench_XXXXXX";
        const int fd = ::mkstemp(name.data());
        if (fd < 0) {
            std::perror("mkstemp");
            std::exit(1);
        }
        const auto& bytes = randomBytes();
        if (::write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) {
            std::perror("write");
            std::exit(1);
        }
        ::close(fd);
        static std::string keep = name;
        std::atexit([] { ::unlink(keep.c_str()); });
        return name;
    }();
    return path;
}

void Md5InMemory(benchmark::State& state) {
    const auto size = static_cast<std::size_t>(state.range(0));
    const auto& bytes = randomBytes();
    std::uint8_t digest[16];
    Md5Context md5;
    for (auto _ : state) {
        md5.update(bytes.data(), size);
        md5.finish(digest);
        benchmark::DoNotOptimize(digest);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(size));
}
BENCHMARK(Md5InMemory)->Arg(64)->Arg(4096)->Arg(1 << 20);

void Crc32Sliced(benchmark::State& state) {
    const auto size = static_cast<std::size_t>(state.range(0));
    const auto& bytes = randomBytes();
    for (auto _ : state) {
        std::uint32_t crc = 0xFFFFFFFFu;
        crc32impl::updateSliced(bytes.data(), size, crc);
        benchmark::DoNotOptimize(crc);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(size));
}
BENCHMARK(Crc32Sliced)->Arg(64)->Arg(4096)->Arg(1 << 20);

void Crc32Folded(benchmark::State& state) {
    if (!crc32impl::foldingAvailable()) {
        state.SkipWithError("no carry-less multiply on this CPU");
        return;
    }
    const auto size = static_cast<std::size_t>(state.range(0));
    const auto& bytes = randomBytes();
    for (auto _ : state) {
        std::uint32_t crc = 0xFFFFFFFFu;
        crc32impl::updateFolded(bytes.data(), size, crc);
        benchmark::DoNotOptimize(crc);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(size));
}
BENCHMARK(Crc32Folded)->Arg(64)->Arg(4096)->Arg(1 << 20);

void Crc32Update(benchmark::State& state) {
    const auto size = static_cast<std::size_t>(state.range(0));
    const auto& bytes = randomBytes();
    for (auto _ : state) {
        std::uint32_t crc = 0xFFFFFFFFu;
        UpdateCRC32(bytes.data(), size, crc);
        benchmark::DoNotOptimize(crc);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(size));
}
BENCHMARK(Crc32Update)->Arg(64)->Arg(4096)->Arg(1 << 20);

void Crc32Zlib(benchmark::State& state) {
    const auto size = static_cast<std::size_t>(state.range(0));
    const auto& bytes = randomBytes();
    for (auto _ : state) {
        uLong crc = ::crc32(0L, bytes.data(), static_cast<uInt>(size));
        benchmark::DoNotOptimize(crc);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(size));
}
BENCHMARK(Crc32Zlib)->Arg(64)->Arg(4096)->Arg(1 << 20);

// The whole-file CRC-32 reader loop, with zlib's crc32 doing the arithmetic.
std::uint32_t zlibFileCrc32(const std::string& name, std::uint8_t* buffer, std::size_t size) {
    RegularFileReader reader;
    if (reader.open(name) != 0) {
        return 0;
    }
    uLong crc = ::crc32(0L, Z_NULL, 0);
    for (;;) {
        const ssize_t got = reader.fill(buffer, size);
        if (got < 0) {
            return 0;
        }
        crc = ::crc32(crc, buffer, static_cast<uInt>(got));
        if (static_cast<std::size_t>(got) < size) {
            break;
        }
    }
    return static_cast<std::uint32_t>(crc);
}

void FileCrc32Ours(benchmark::State& state) {
    const std::string& name = testFile();
    const auto buffer = std::make_unique<std::uint8_t[]>(FileBlockSize);
    for (auto _ : state) {
        const CRC32Result r = FileCRC32(name, buffer.get(), FileBlockSize);
        benchmark::DoNotOptimize(r);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * (64 << 20));
}
BENCHMARK(FileCrc32Ours)->Unit(benchmark::kMillisecond);

void FileCrc32Zlib(benchmark::State& state) {
    const std::string& name = testFile();
    const auto buffer = std::make_unique<std::uint8_t[]>(FileBlockSize);
    for (auto _ : state) {
        const std::uint32_t crc = zlibFileCrc32(name, buffer.get(), FileBlockSize);
        benchmark::DoNotOptimize(crc);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * (64 << 20));
}
BENCHMARK(FileCrc32Zlib)->Unit(benchmark::kMillisecond);

// MD5 of the cached file read in blocks of the given size (the block size TFileHashing uses is
// FileBlockSize).
void FileMd5BlockSize(benchmark::State& state) {
    const std::string& name = testFile();
    const auto size = static_cast<std::size_t>(state.range(0));
    const auto buffer = std::make_unique<std::uint8_t[]>(size);
    Md5Context md5;
    std::uint8_t digest[16];
    for (auto _ : state) {
        RegularFileReader reader;
        reader.open(name);
        for (;;) {
            const ssize_t got = reader.fill(buffer.get(), size);
            if (got <= 0) {
                break;
            }
            md5.update(buffer.get(), static_cast<std::size_t>(got));
        }
        md5.finish(digest);
        benchmark::DoNotOptimize(digest);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * (64 << 20));
}
BENCHMARK(FileMd5BlockSize)->RangeMultiplier(4)->Range(4096, 4 << 20)->Unit(benchmark::kMillisecond);

void HashFileMd5(benchmark::State& state) {
    const std::string& name = testFile();
    TFileHashing hasher(TFileHashing::KindMD5);
    for (auto _ : state) {
        benchmark::DoNotOptimize(hasher.HashFile(name));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * (64 << 20));
}
BENCHMARK(HashFileMd5)->Unit(benchmark::kMillisecond);

void HashFileCrc32(benchmark::State& state) {
    const std::string& name = testFile();
    TFileHashing hasher(TFileHashing::KindCRC32);
    for (auto _ : state) {
        benchmark::DoNotOptimize(hasher.HashFile(name));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * (64 << 20));
}
BENCHMARK(HashFileCrc32)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
