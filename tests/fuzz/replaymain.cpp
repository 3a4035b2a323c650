// Replays a fuzz target's seed corpus (tests/fuzz/corpus/<target>) as an
// ordinary test, so the normal build checks every input that ever made a
// target fail. A failing input aborts inside the target, naming itself below.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size);

TEST(FuzzCorpus, EveryInputPasses)
{
    namespace fs = std::filesystem;
    const char *source = std::getenv("SONALYX_SOURCE_DIR");
    ASSERT_NE(source, nullptr);
    const fs::path dir = fs::path(source) / "tests/fuzz/corpus" / SONALYX_FUZZ_CORPUS;
    int replayed = 0;
    for (const fs::directory_entry &e : fs::directory_iterator(dir)) {
        if (!e.is_regular_file())
            continue;
        std::ifstream in(e.path(), std::ios::binary);
        const std::vector<char> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        std::fprintf(stderr, "replaying %s\n", e.path().filename().c_str());
        LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t *>(bytes.data()), bytes.size());
        ++replayed;
    }
    EXPECT_GE(replayed, 3) << "the seed corpus went missing";
}
