// The path buffer: directory parts of paths, and how it takes and gives back
// its two pool blocks, also when the pool refuses one.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "pool_on_machine.h"
#include "sim/control.h"
#include "support/path_buffer.h"

namespace {

using namespace pooltest;

class PathBufferTest : public PoolOnMachineTest {
protected:
    std::string Directory(const char* path, bool keepSeparator) {
        CPathBuffer buffer(path, *pool);
        const char* text = buffer.DirectoryPart(keepSeparator);
        return text == nullptr ? std::string("(null)") : std::string(text);
    }
    unsigned PoolCalls() const { return sim::CriticalSectionEntries(pool->LockSection()); }
};

using PathBufferDirectory = PathBufferTest;
using PathBufferMemory = PathBufferTest;

struct DirectoryCase {
    const char* path;
    const char* kept;
    const char* dropped;
};

TEST_F(PathBufferDirectory, CutsAtTheLastSeparator) {
    const DirectoryCase cases[] = {
        {"C:\\Tools\\Diag\\tool.exe", "C:\\Tools\\Diag\\", "C:\\Tools\\Diag"},
        {"C:\\Tools\\", "C:\\Tools\\", "C:\\Tools"},
        {"C:\\", "C:\\", "C:"},
        {"C:tool.exe", "C:", "C:"},
        {"\\tool.exe", "\\", ""},
        {"tool.exe", "", ""},
        {"\\\\server\\share\\a.hlp", "\\\\server\\share\\", "\\\\server\\share"},
        {"D:\\a:b\\c", "D:\\a:b\\", "D:\\a:b"},
        {"D:\\dir\\x:y", "D:\\dir\\x:", "D:\\dir\\x:"},
    };
    for (const DirectoryCase& entry : cases) {
        EXPECT_EQ(entry.kept, Directory(entry.path, true)) << entry.path;
        EXPECT_EQ(entry.dropped, Directory(entry.path, false)) << entry.path;
    }
}

TEST_F(PathBufferDirectory, EachCallStartsFromTheWholePath) {
    CPathBuffer buffer("C:\\Tools\\Diag\\tool.exe", *pool);
    EXPECT_STREQ("C:\\Tools\\Diag", buffer.DirectoryPart(false));
    EXPECT_STREQ("C:\\Tools\\Diag\\", buffer.DirectoryPart(true));
    EXPECT_STREQ("C:\\Tools\\Diag", buffer.DirectoryPart(false));
    EXPECT_STREQ("C:\\Tools\\Diag", buffer.DirectoryPart(false));
}

TEST_F(PathBufferDirectory, NullOrEmptyTextHoldsNothing) {
    for (const char* text : {static_cast<const char*>(nullptr), ""}) {
        {
            CPathBuffer buffer(text, *pool);
            EXPECT_EQ(nullptr, buffer.DirectoryPart(true));
            EXPECT_EQ(nullptr, buffer.DirectoryPart(false));
        }
        EXPECT_EQ(0u, PoolCalls());
        EXPECT_EQ(nullptr, pool->FirstChunk());
        EXPECT_TRUE(sim::GlobalMemoryCalls().empty());
    }
}

TEST_F(PathBufferDirectory, ScanComparesSingleBytes) {
    // Shift JIS 0x95 0x5C is one character whose second byte is the backslash's
    // code; the scan still takes it for a separator.
    const char path[] =
        "C:\\Data\\\x95\x5C"
        "file.txt";
    EXPECT_EQ(std::string("C:\\Data\\\x95\\"), Directory(path, true));
    EXPECT_EQ(std::string("C:\\Data\\\x95"), Directory(path, false));
}

TEST_F(PathBufferMemory, TwoBlocksOfTheTextsSizePathFirst) {
    const char text[] = "C:\\Program Files\\Varnobel\\Varnobel.HLP";
    const DWORD bytes = sizeof text;  // length plus the NUL
    {
        CPathBuffer buffer(text, *pool);
        EXPECT_EQ(2u, PoolCalls());
        const std::vector<const PoolChunk*> chunks = Chunks(*pool);
        ASSERT_EQ(1u, chunks.size());
        // Carved in turn from a fresh chunk: the path, then the work buffer.
        const char* first = reinterpret_cast<const char*>(UsableStart(chunks[0])) + kBlockHeader;
        const char* second = first + bytes + kBlockHeader;
        EXPECT_EQ(bytes + kBlockHeader, HandedOutSize(first));
        EXPECT_EQ(bytes + kBlockHeader, HandedOutSize(second));
        EXPECT_STREQ(text, first);
        EXPECT_STREQ(text, second);
        EXPECT_EQ(second, buffer.DirectoryPart(true));
        EXPECT_STREQ(text, first);
    }
    EXPECT_EQ(4u, PoolCalls());
    const std::vector<FreeBlock> whole = {{UsableStart(pool->FirstChunk()), kStandardUsable}};
    EXPECT_EQ(whole, FreeBlocks(*pool));
}

TEST_F(PathBufferMemory, ReleasesPathBeforeWorkBuffer) {
    // Blocks this long have chunks of their own, so each release shows as a
    // GlobalFree of its chunk.
    const std::string text(kLargestKeptRequest, 'p');
    const DWORD chunkBytes = static_cast<DWORD>(text.size()) + 1 + kBlockHeader + kChunkHeader;
    HGLOBAL pathChunk = nullptr;
    HGLOBAL workChunk = nullptr;
    {
        CPathBuffer buffer(text.c_str(), *pool);
        const std::vector<sim::GlobalMemoryCall> calls = sim::GlobalMemoryCalls();
        ASSERT_EQ(4u, calls.size());
        EXPECT_EQ("GlobalAlloc", calls[0].api);
        EXPECT_EQ(chunkBytes, calls[0].bytes);
        EXPECT_EQ("GlobalAlloc", calls[2].api);
        EXPECT_EQ(chunkBytes, calls[2].bytes);
        pathChunk = calls[0].handle;
        workChunk = calls[2].handle;
        const char* work = buffer.DirectoryPart(true);
        ASSERT_NE(nullptr, work);
        const PoolChunk* chunk =
            reinterpret_cast<const PoolChunk*>(work - kBlockHeader - kChunkHeader);
        EXPECT_EQ(workChunk, chunk->memoryHandle);
    }
    std::vector<HGLOBAL> freed;
    for (const sim::GlobalMemoryCall& call : sim::GlobalMemoryCalls()) {
        if (call.api == "GlobalFree") {
            freed.push_back(call.handle);
        }
    }
    EXPECT_EQ((std::vector<HGLOBAL>{pathChunk, workChunk}), freed);
    EXPECT_EQ(0, sim::GlobalBlocksHeld());
}

TEST_F(PathBufferMemory, RefusedFirstBlockLeavesNothingHeld) {
    sim::FailCall("GlobalAlloc", ERROR_NOT_ENOUGH_MEMORY, 1, 1);
    {
        CPathBuffer buffer("C:\\Tools\\tool.exe", *pool);
        EXPECT_EQ(nullptr, buffer.DirectoryPart(true));
        EXPECT_EQ(nullptr, buffer.DirectoryPart(false));
        EXPECT_EQ(1u, PoolCalls());
    }
    EXPECT_EQ(1u, PoolCalls());
    EXPECT_EQ(0, sim::GlobalBlocksHeld());
    EXPECT_EQ(nullptr, pool->FirstChunk());
}

TEST_F(PathBufferMemory, RefusedSecondBlockGivesTheFirstBack) {
    // The path fills a standard chunk, so the work buffer needs a second one.
    const std::string text(kWholeChunkRequest - 1, 'q');
    sim::FailCall("GlobalAlloc", ERROR_NOT_ENOUGH_MEMORY, 2, 1);
    {
        CPathBuffer buffer(text.c_str(), *pool);
        EXPECT_EQ(nullptr, buffer.DirectoryPart(true));
        EXPECT_EQ(3u, PoolCalls());  // two requests and the release of the first block
        const std::vector<FreeBlock> whole = {{UsableStart(pool->FirstChunk()), kStandardUsable}};
        EXPECT_EQ(whole, FreeBlocks(*pool));
    }
    EXPECT_EQ(3u, PoolCalls());
    EXPECT_EQ(1u, Chunks(*pool).size());
}

TEST_F(PathBufferMemory, RefusedSecondLargeBlockGivesTheFirstChunkBack) {
    const std::string text(kLargestKeptRequest, 'r');
    sim::FailCall("GlobalAlloc", ERROR_NOT_ENOUGH_MEMORY, 2, 1);
    {
        CPathBuffer buffer(text.c_str(), *pool);
        EXPECT_EQ(nullptr, buffer.DirectoryPart(false));
        EXPECT_EQ(0, sim::GlobalBlocksHeld());
    }
    EXPECT_EQ(nullptr, pool->FirstChunk());
    EXPECT_EQ(0, sim::GlobalBlocksHeld());
}

}  // namespace
