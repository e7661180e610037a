#include "io/deflate_container.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "io/deflate_writer.h"
#include "io/memory_stream.h"
#include "tests/io/exact_regex.h"

namespace lumo {
namespace {

// Bytes with long runs and some noise, so that chunks compress unevenly.
std::vector<uint8_t> Data(size_t n, uint32_t seed = 1) {
    std::vector<uint8_t> d(n);
    uint32_t x = seed;
    for (size_t i = 0; i < n; ++i) {
        x = x * 1664525u + 1013904223u;
        d[i] =
            (i / 700) % 2 ? static_cast<uint8_t>(i / 700) : static_cast<uint8_t>(x >> 24);
    }
    return d;
}

struct Decoded {
    Status status;
    std::vector<uint8_t> block;
    size_t decoded = 0;
    long position = -1;  // the stream's position afterwards
    std::string errors;  // the chunk errors, concatenated
};

Decoded Decode(const std::vector<uint8_t>& file, long start = 0) {
    Decoded d;
    FilePtr f = OpenMemoryStream(file.data(), file.size());
    std::fseek(f.get(), start, SEEK_SET);
    d.status = ReadDeflateZip(f.get(), d.block, d.decoded,
                              [&](std::string_view t) { d.errors += t; });
    d.position = std::ftell(f.get());
    return d;
}

std::vector<uint8_t> Container(const std::vector<uint8_t>& data,
                               const DeflateWriteOptions& options = {}) {
    std::vector<uint8_t> file;
    EXPECT_TRUE(AppendDeflateZip(file, data.data(), data.size(), options).ok());
    return file;
}

std::vector<uint8_t> Chunk(const std::vector<uint8_t>& data) {
    std::vector<uint8_t> c;
    EXPECT_TRUE(MakeDeflateChunk(data.data(), data.size(), 6, c).ok());
    return c;
}

std::string Message(const char* reason) {
    return std::string("\ninflate: stdin: ") + reason + "\n";
}

TEST(DeflateRoundTripTest, SizesPiecesAndLayouts) {
    struct Case {
        const char* name;
        size_t size;
        DeflateWriteOptions options;
    };
    const Case cases[] = {
        {"one byte", 1, {}},
        {"exactly one piece", 32768, {}},
        {"one byte over", 32769, {}},
        {"many pieces", 200000, {}},
        {"small pieces", 5000, {.piece = 999}},
        {"stored", 70000, {.level = 0}},
        // Pieces that deflate does not shrink by half are kept as stored blocks.
        {"stored where deflate gains little", 90000, {.min_gain = 0.5}},
        // Chunks stored last first: decoded in table order all the same.
        {"out of order", 100000, {.reverse_layout = true}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<uint8_t> data = Data(c.size);
        const std::vector<uint8_t> file = Container(data, c.options);
        const Decoded d = Decode(file);
        ASSERT_TRUE(d.status.ok()) << d.status.message();
        EXPECT_EQ("", d.errors);
        EXPECT_EQ(data.size(), d.decoded);
        EXPECT_EQ(data, d.block);
        if (!c.options.reverse_layout) {
            EXPECT_EQ(static_cast<long>(file.size()), d.position);
        }
    }
}

TEST(DeflateRoundTripTest, StreamEndsAtTheLastChunkInTableOrder) {
    // Chunks laid out last first: the last in table order is stored first, so
    // the stream is left right behind it, not at the container's end.
    const std::vector<uint8_t> c0 = Chunk(Data(100)), c1 = Chunk(Data(200, 7));
    std::vector<uint8_t> file;
    ASSERT_TRUE(AppendChunks(file, {c0, c1}, true).ok());
    const Decoded d = Decode(file);
    ASSERT_TRUE(d.status.ok());
    EXPECT_EQ(static_cast<long>(6 + 16 + c1.size()), d.position);

    // No chunks: nothing decoded, the stream just after the size table.
    std::vector<uint8_t> empty = Container({});
    empty.resize(empty.size() + 10, 'x');
    const Decoded e = Decode(empty);
    ASSERT_TRUE(e.status.ok());
    EXPECT_EQ(0u, e.decoded);
    EXPECT_EQ(6, e.position);
}

TEST(DeflateRoundTripTest, TwoContainersInOneStreamWithDataBetween) {
    const std::vector<uint8_t> a = Data(40000, 3), b = Data(50000, 4);
    std::vector<uint8_t> file = {'h', 'e', 'a', 'd'};
    ASSERT_TRUE(AppendDeflateZip(file, a.data(), a.size()).ok());
    const long second = static_cast<long>(file.size()) + 3;
    file.insert(file.end(), {'m', 'i', 'd'});
    ASSERT_TRUE(AppendDeflateZip(file, b.data(), b.size()).ok());
    const Decoded da = Decode(file, 4);
    EXPECT_EQ(a, da.block);
    EXPECT_EQ(second - 3, da.position);
    EXPECT_EQ(b, Decode(file, second).block);

    // The writer's stream form puts absolute offsets after what precedes it.
    FilePtr f(std::tmpfile());
    std::fputs("prefix", f.get());
    ASSERT_TRUE(WriteDeflateZip(f.get(), a.data(), a.size()).ok());
    std::fseek(f.get(), 6, SEEK_SET);
    std::vector<uint8_t> block;
    size_t n = 0;
    ASSERT_TRUE(ReadDeflateZip(f.get(), block, n, MessageSink()).ok());
    EXPECT_EQ(a, block);
}

// Offsets of the little-endian trailer of the only chunk of `file`.
size_t TrailerAt(const std::vector<uint8_t>& file) {
    return file.size() - 8;
}

TEST(DeflateChunkErrorTest, DecodingErrorsKeepGoing) {
    const std::vector<uint8_t> data = Data(3000);
    const std::vector<uint8_t> good = Container(data);

    // A wrong CRC: reported, and the bytes still count.
    std::vector<uint8_t> crc = good;
    crc[TrailerAt(crc)] ^= 0x01;
    Decoded d = Decode(crc);
    ASSERT_TRUE(d.status.ok());
    EXPECT_EQ(Message("invalid compressed data--crc error"), d.errors);
    EXPECT_EQ(data, d.block);

    std::vector<uint8_t> length = good;
    length[TrailerAt(length) + 4] ^= 0x01;
    d = Decode(length);
    EXPECT_EQ(Message("invalid compressed data--length error"), d.errors);
    EXPECT_EQ(data.size(), d.decoded);

    // The stored length cut short: the chunk ends inside its deflate data.
    std::vector<uint8_t> cut = good;
    cut[6 + 4 + 3] = 20;  // size table entry 0, low byte
    cut[6 + 4 + 2] = 0;
    d = Decode(cut);
    ASSERT_TRUE(d.status.ok());
    EXPECT_EQ(Message("unexpected end of file"), d.errors);
    EXPECT_LT(d.decoded, data.size());
    EXPECT_TRUE(std::equal(d.block.begin(), d.block.end(), data.begin()));

    // Only the trailer cut: the data decode, the trailer is missing.
    std::vector<uint8_t> no_trailer = good;
    no_trailer[6 + 4 + 3] -= 5;
    d = Decode(no_trailer);
    EXPECT_EQ(Message("unexpected end of file"), d.errors);
    EXPECT_EQ(data, d.block);
}

TEST(DeflateChunkErrorTest, FormatViolationThenTheTrailerChecks) {
    // A chunk whose first block has the reserved block type 3, then a
    // trailer claiming one byte: the violation, then both trailer checks.
    std::vector<uint8_t> chunk = {0x07, 1, 0, 0, 0, 1, 0, 0, 0};
    std::vector<uint8_t> file;
    ASSERT_TRUE(AppendChunks(file, {chunk, Chunk(Data(10))}).ok());
    const Decoded d = Decode(file);
    ASSERT_TRUE(d.status.ok());
    EXPECT_EQ(Message("invalid compressed data--format violated") +
                  Message("invalid compressed data--crc error") +
                  Message("invalid compressed data--length error"),
              d.errors);
    // The next chunk still decodes.
    EXPECT_EQ(Data(10), d.block);
}

TEST(DeflateChunkErrorTest, ChunksMayDecodeUnevenlyWithinTheBlock) {
    // 40000 bytes from one chunk and 100 from the next fit 2 x 32768.
    std::vector<uint8_t> file;
    ASSERT_TRUE(AppendChunks(file, {Chunk(Data(40000)), Chunk(Data(100, 2))}).ok());
    const Decoded d = Decode(file);
    ASSERT_TRUE(d.status.ok());
    EXPECT_EQ(40100u, d.decoded);
}

// Damaged chunks among many clean ones, in groups larger than the reader
// reads at once: on one thread and on two, the bytes and the messages are
// those of decoding the chunks one after another with InflateChunk (zlib).
TEST(DeflateChunkErrorTest, ManyChunksDecodeAsZlibDoesChunkByChunk) {
    // 340 chunks of up to 32768 bytes, mostly noise that deflate stores (over
    // 8 MB of input: the reader takes them in two groups).
    std::vector<std::vector<uint8_t>> clean;
    for (uint32_t i = 0; i < 340; ++i) {
        std::vector<uint8_t> piece = Data(i % 7 == 3 ? 1000 + i : 32768, i + 1);
        uint32_t x = i;
        if (i % 10 != 0)  // noise, which deflate stores
            for (uint8_t& b : piece)
                b = static_cast<uint8_t>((x = x * 1664525u + 1013904223u) >> 24);
        clean.push_back(Chunk(piece));
    }
    size_t input = 0;
    for (const std::vector<uint8_t>& c : clean)
        input += c.size();
    ASSERT_GT(input, size_t{8} << 20);
    auto damaged = [&](std::initializer_list<size_t> which, auto&& damage) {
        std::vector<std::vector<uint8_t>> chunks = clean;
        for (size_t i : which)
            damage(chunks[i]);
        return chunks;
    };
    const auto crc = [](std::vector<uint8_t>& c) { c[c.size() - 8] ^= 0x40; };
    const auto bits = [](std::vector<uint8_t>& c) { c[c.size() / 2] ^= 0x5A; };
    const auto cut = [](std::vector<uint8_t>& c) { c.resize(c.size() / 3); };
    const auto claims_more = [](std::vector<uint8_t>& c) { c[c.size() - 2] ^= 0x01; };
    const auto claims_less = [](std::vector<uint8_t>& c) { c[c.size() - 3] ^= 0x80; };
    const auto trailing = [](std::vector<uint8_t>& c) {
        c.insert(c.end() - 8, {1, 2, 3});
    };
    struct Case {
        const char* name;
        std::vector<std::vector<uint8_t>> chunks;
    };
    const Case cases[] = {
        {"clean", clean},
        {"crc", damaged({0, 77, 339}, crc)},
        {"flipped data", damaged({5, 6, 130}, bits)},
        {"cut short", damaged({1, 240}, cut)},
        {"length claims more", damaged({2, 250}, claims_more)},
        {"length claims less", damaged({3}, claims_less)},
        {"bytes after the trailer", damaged({4, 290}, trailing)},
        {"several kinds",
         [&] {
             std::vector<std::vector<uint8_t>> chunks = damaged({0, 100}, crc);
             cut(chunks[60]);
             bits(chunks[61]);
             trailing(chunks[339]);
             return chunks;
         }()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<uint8_t> file;
        ASSERT_TRUE(AppendChunks(file, c.chunks).ok());
        std::vector<uint8_t> expected;
        std::string expected_errors;
        for (const std::vector<uint8_t>& chunk : c.chunks) {
            size_t delivered = 0;
            ASSERT_TRUE(InflateChunk(chunk.data(), chunk.size(), expected,
                                     32768 * c.chunks.size(), delivered,
                                     [&](std::string_view t) { expected_errors += t; }));
        }
        if (std::string(c.name) != "clean") {
            EXPECT_NE("", expected_errors);
        }
        for (int threads : {1, 2}) {
            SCOPED_TRACE(threads);
            FilePtr f = OpenMemoryStream(file.data(), file.size());
            std::vector<uint8_t> block;
            size_t n = 0;
            std::string errors;
            ASSERT_TRUE(
                ReadDeflateZip(
                    f.get(), block, n, [&](std::string_view t) { errors += t; }, threads)
                    .ok());
            EXPECT_EQ(expected_errors, errors);
            EXPECT_EQ(expected.size(), n);
            EXPECT_TRUE(expected == block);
        }
    }
}

TEST(DeflateContainerFaultTest, RefusedFiles) {
    const std::vector<uint8_t> good = Container(Data(1000));
    auto patched = [&](size_t at, std::vector<uint8_t> bytes) {
        std::vector<uint8_t> f = good;
        std::copy(bytes.begin(), bytes.end(), f.begin() + static_cast<long>(at));
        return f;
    };
    std::vector<uint8_t> too_long;
    ASSERT_TRUE(AppendChunks(too_long, {Chunk(Data(40000))}).ok());
    std::vector<uint8_t> big_chunk;
    ASSERT_TRUE(AppendChunks(big_chunk, {std::vector<uint8_t>(65537, 0)}).ok());
    struct Case {
        const char* name;
        std::vector<uint8_t> file;
    };
    const Case cases[] = {
        {"signature", patched(0, {'E', 'Y'})},
        {"empty file", {}},
        {"no count", {'E', 'Z', 0}},
        {"negative count", patched(2, {0x80, 0, 0, 0})},
        // A count whose tables would be far larger than the file.
        {"huge count", patched(2, {0x10, 0, 0, 0})},
        {"negative chunk size", patched(10, {0xFF, 0xFF, 0xFF, 0xFF})},
        // One chunk that decodes to more than its 32768 bytes of room.
        {"output past the block", too_long},
        {"stored chunk over 65536 bytes", big_chunk},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Decoded d = Decode(c.file);
        const std::string message =
            "[ReadDeflateZip]: input file is not in our zip file format\n";
        EXPECT_EQ(message, d.status.message());
        EXPECT_TRUE(d.block.empty());
        auto read = [&] {
            FilePtr f = OpenMemoryStream(c.file.data(), c.file.size());
            std::vector<uint8_t> block;
            size_t n = 0;
            ReadDeflateZipOrExit(f.get(), block, n);
        };
        EXPECT_EXIT(read(), ::testing::ExitedWithCode(1), testing::ExactRegex(message));
    }
}

TEST(DeflateExtractTest, WritesTheDecodedBytes) {
    const std::vector<uint8_t> data = Data(70000);
    const std::vector<uint8_t> file = Container(data);
    FilePtr in = OpenMemoryStream(file.data(), file.size());
    FilePtr out(std::tmpfile());
    ASSERT_TRUE(ExtractDeflateZip(in.get(), out.get(), MessageSink()).ok());
    std::rewind(out.get());
    std::vector<uint8_t> back(data.size() + 1);
    EXPECT_EQ(data.size(), std::fread(back.data(), 1, back.size(), out.get()));
    back.pop_back();
    EXPECT_EQ(data, back);
}

using DeflateDeathTest = ::testing::Test;

TEST_F(DeflateDeathTest, ContainerFaultsEndTheProgram) {
    const std::vector<uint8_t> bad = {'P', 'K', 0, 0, 0, 0};
    auto run = [&](bool extract) {
        FilePtr in = OpenMemoryStream(bad.data(), bad.size());
        std::vector<uint8_t> block;
        size_t n = 0;
        if (extract) {
            ExtractDeflateZipOrExit(in.get(), stdout);
        } else {
            ReadDeflateZipOrExit(in.get(), block, n);
        }
    };
    const char* pattern =
        "^\\[ReadDeflateZip\\]: input file is not in our zip file format\n$";
    EXPECT_EXIT(run(false), ::testing::ExitedWithCode(1), pattern);
    EXPECT_EXIT(run(true), ::testing::ExitedWithCode(1), pattern);
}

TEST_F(DeflateDeathTest, ChunkErrorsGoToStandardErrorAndTheLoadGoesOn) {
    std::vector<uint8_t> file = Container(Data(500));
    file[file.size() - 8] ^= 0xFF;
    auto run = [&] {
        FilePtr in = OpenMemoryStream(file.data(), file.size());
        std::vector<uint8_t> block;
        size_t n = 0;
        ReadDeflateZipOrExit(in.get(), block, n);
        std::exit(n == 500 ? 0 : 3);
    };
    EXPECT_EXIT(run(), ::testing::ExitedWithCode(0),
                "^\ninflate: stdin: invalid compressed data--crc error\n$");
}

}  // namespace
}  // namespace lumo
