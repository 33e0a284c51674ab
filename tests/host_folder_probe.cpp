// Prints what a new instance of the module beside this program holds: its
// bitmap path and x. The long-folder test runs copies of it from deep folders.
#include "host/filter_instance.h"
#include "host/loaded_module.h"
#include "module/filter_settings.h"

#include "pendra_version.h"
#include <cstdio>
#include <exception>

int main() {
    try {
        pendra::host::LoadedModule module(pendra::host::defaultModulePath());
        pendra::host::FilterInstance instance(module.filter(PENDRA_FILTER_NAME));
        const FilterSettings &s = instance.dataAs<FilterSettings>();
        std::printf("x=%d\npath=%s\n", s.x, s.bitmapPath);
        return 0;
    } catch (const std::exception &e) {
        std::fprintf(stderr, "host_folder_probe: %s\n", e.what());
        return 1;
    }
}
