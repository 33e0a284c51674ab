// Fuzz target: the defaults file, read by the init callback of a new
// instance. The input is the file's text with a known pair appended on a
// line of its own.
//
// Property besides the sanitizers' own: whatever came before, the reader is
// back in step at a line that holds a key and its value, so the appended pair
// always takes effect; and the record gets exactly the process-wide values.
#include "defaults/process_defaults.h"
#include "module/callbacks.h"
#include "module/filter_settings.h"
#include "tests/fuzz/fuzz_support.h"
#include "tests/support/test_folder.h"

#include <cstring>
#include <memory>

using namespace pendra::fuzz;

namespace {
const char appended[] = "\nDEFAULT_SCENE\t-4242\n";
}

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    std::filesystem::create_directories(pendra::test::defaultsFilePath().parent_path());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::vector<uint8_t> text(data, data + size);
    text.insert(text.end(), appended, appended + std::strlen(appended));
    writeFile(pendra::test::defaultsFilePath(), text);

    resetProcessDefaults();
    auto s = std::make_unique<FilterSettings>();
    std::memset(s.get(), 0xCD, sizeof *s);
    FilterActivation fa{};
    fa.filter_data = s.get();
    FUZZ_CHECK(filterInit(&fa, nullptr) == 0);

    FUZZ_CHECK(processDefault(DEFAULT_SCENE) == -4242);
    FUZZ_CHECK(s->scene == -4242);
    FUZZ_CHECK(s->x == processDefault(DEFAULT_X) && s->y == processDefault(DEFAULT_Y));
    FUZZ_CHECK(s->t1 == processDefault(DEFAULT_T1) && s->bb == processDefault(DEFAULT_BB));
    FUZZ_CHECK(s->noiseL == processDefault(DEFAULT_NOISE_L));
    FUZZ_CHECK(s->blackFile == nullptr && s->sideTable == nullptr);
    FUZZ_CHECK(std::memchr(s->bitmapPath, 0, sizeof s->bitmapPath) != nullptr);
    return 0;
}
