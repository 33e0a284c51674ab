// A filter module loaded the way the video host loads one: resolve the two
// exports, call the init entry with our FilterFunctions table, keep copies of
// the definitions it registers, and call the deinit entry before unloading.
#pragma once

#include "host/module_library.h"
#include "module/host_interface.h"

#include <filesystem>
#include <list>
#include <memory>
#include <string>
#include <vector>

namespace pendra::host {

class LoadedModule;

// One registered definition: the host's copy of what the module passed.
struct RegisteredFilter {
    FilterDefinition definition; // first: the handle given to the module points here
    int declaredLength = 0;      // the length the module passed to addFilter
    LoadedModule *owner = nullptr;
};

class LoadedModule {
  public:
    // Loads the file and registers its filters; throws HostError when the file
    // is not a module, lacks an export, its init entry fails, or it is already
    // loaded by another LoadedModule of this process.
    explicit LoadedModule(const std::filesystem::path &file);
    // Calls the deinit entry, then unloads.
    ~LoadedModule();
    LoadedModule(const LoadedModule &) = delete;
    LoadedModule &operator=(const LoadedModule &) = delete;

    const std::list<RegisteredFilter> &filters() const { return filters_; }
    // The registered filter of that name; throws HostError when there is none.
    const RegisteredFilter &filter(const std::string &name) const;
    int version() const { return version_; }
    int compatibleVersion() const { return compatible_; }
    const FilterFunctions &functions() const;

  private:
    // Resolves the exports and calls the module's init entry.
    void initialise(const std::filesystem::path &file);
    static FilterDefinition *VDCDECL addFilter(FilterModule *fm, FilterDefinition *fd, int length);
    static void VDCDECL removeFilter(FilterDefinition *fd);

    // FilterModule first, so the module's pointer leads back to this object.
    struct ModuleRecord {
        FilterModule module;
        LoadedModule *owner;
    };

    ModuleLibrary library_;
    ModuleRecord record_{};
    std::list<RegisteredFilter> filters_;
    int version_ = 0;
    int compatible_ = 0;
};

} // namespace pendra::host
