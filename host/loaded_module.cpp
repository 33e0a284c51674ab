#include "host/loaded_module.h"

#include "host/host_error.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>

namespace pendra::host {

namespace {

// Functions of the table that Pendra never calls; they behave as a plain host.
bool VDCDECL yes() {
    return true;
}
void VDCDECL initVTables(void *) {}
[[noreturn]] void VDCDECL exceptOutOfMemory() {
    std::fputs("filter: out of memory\n", stderr);
    std::abort();
}
[[noreturn]] void VDCDECL except(const char *format, ...) {
    va_list args;
    va_start(args, format);
    std::fputs("filter: ", stderr);
    std::vfprintf(stderr, format, args);
    std::fputs("\n", stderr);
    va_end(args);
    std::abort();
}
long VDCDECL cpuFlags() {
    return 0;
}
long VDCDECL hostVersionInfo(char *buffer, int length) {
    if (buffer && length > 0)
        std::snprintf(buffer, static_cast<size_t>(length), "Pendra host");
    return 1;
}

} // namespace

const FilterFunctions &LoadedModule::functions() const {
    static const FilterFunctions table = {
        &LoadedModule::addFilter,
        &LoadedModule::removeFilter,
        yes,
        yes,
        initVTables,
        exceptOutOfMemory,
        except,
        cpuFlags,
        hostVersionInfo,
    };
    return table;
}

FilterDefinition *VDCDECL LoadedModule::addFilter(FilterModule *fm, FilterDefinition *fd,
                                                  int length) {
    auto *record = reinterpret_cast<ModuleRecord *>(fm);
    if (!record || !fd || length <= 0)
        return nullptr;
    LoadedModule *self = record->owner;
    RegisteredFilter &entry = self->filters_.emplace_back();
    // Copy only what the module declared; members it does not know stay null.
    std::memset(&entry.definition, 0, sizeof entry.definition);
    std::memcpy(&entry.definition, fd,
                std::min(static_cast<size_t>(length), sizeof entry.definition));
    entry.definition.module = fm;
    entry.declaredLength = length;
    entry.owner = self;
    return &entry.definition;
}

void VDCDECL LoadedModule::removeFilter(FilterDefinition *fd) {
    if (!fd)
        return;
    auto *entry = reinterpret_cast<RegisteredFilter *>(fd);
    LoadedModule *self = entry->owner;
    self->filters_.remove_if([fd](const RegisteredFilter &f) { return &f.definition == fd; });
}

namespace {

// Module files this host has loaded and initialised. The system hands back the
// same library for a second load of one file, and a module keeps one
// registration per process, so a second LoadedModule of it would share (and on
// destruction remove) the first one's filters.
std::set<void *> &modulesInUse() {
    // Never destroyed: a LoadedModule that a program keeps in a static of its
    // own may be destroyed after every function-local static is gone.
    static auto *handles = new std::set<void *>;
    return *handles;
}

} // namespace

LoadedModule::LoadedModule(const std::filesystem::path &file) : library_(file) {
    if (!modulesInUse().insert(library_.nativeHandle()).second)
        throw HostError(file.string() + ": this module is already loaded by the host");
    try {
        initialise(file);
    } catch (...) {
        modulesInUse().erase(library_.nativeHandle());
        throw;
    }
}

void LoadedModule::initialise(const std::filesystem::path &file) {
    auto init =
        reinterpret_cast<FilterModuleInitProc>(library_.symbol("VirtualdubFilterModuleInit2"));
    auto deinit =
        reinterpret_cast<FilterModuleDeinitProc>(library_.symbol("VirtualdubFilterModuleDeinit"));
    if (!init || !deinit)
        throw HostError(file.string() + ": not a filter module (missing " +
                        (init ? "VirtualdubFilterModuleDeinit" : "VirtualdubFilterModuleInit2") +
                        ")");
    record_.module.hInstModule = library_.nativeHandle();
    record_.module.initProc = init;
    record_.module.deinitProc = deinit;
    record_.owner = this;
    if (init(&record_.module, &functions(), version_, compatible_) != 0)
        throw HostError(file.string() + ": the module's init entry failed");
    if (compatible_ > VIRTUALDUB_FILTERDEF_VERSION || version_ < VIRTUALDUB_FILTERDEF_COMPATIBLE) {
        record_.module.deinitProc(&record_.module, &functions());
        throw HostError(file.string() + ": module needs filter interface version " +
                        std::to_string(compatible_) + ", host speaks " +
                        std::to_string(VIRTUALDUB_FILTERDEF_VERSION));
    }
}

LoadedModule::~LoadedModule() {
    record_.module.deinitProc(&record_.module, &functions());
    modulesInUse().erase(library_.nativeHandle());
}

const RegisteredFilter &LoadedModule::filter(const std::string &name) const {
    for (const RegisteredFilter &f : filters_)
        if (f.definition.name && name == f.definition.name)
            return f;
    throw HostError(library_.file().string() + ": no filter named \"" + name + "\"");
}

} // namespace pendra::host
