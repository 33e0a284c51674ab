/*
 * The video host's filter interface, as the module and our own host use it.
 *
 * The host was built with a Microsoft compiler, so in the 32-bit Windows build
 * every record, calling convention and virtual-table slot here must match the
 * host's layout byte for byte; the static_asserts at the end pin the 32-bit
 * sizes and offsets. The native build uses the same member order with native
 * pointer sizes: only our own host loads it.
 */
#ifndef PENDRA_MODULE_HOST_INTERFACE_H
#define PENDRA_MODULE_HOST_INTERFACE_H

#include <cstddef>
#include <cstdint>

#if defined(_WIN32)
#define VDCDECL __cdecl
#define VDTHISCALL __thiscall
#define VDEXPORT extern "C" __declspec(dllexport)
#else
#define VDCDECL
#define VDTHISCALL
#define VDEXPORT extern "C" __attribute__((visibility("default")))
#endif

/* A window handle (HWND) as the host passes it; the module never looks inside. */
typedef void *VDXHWND;
/* A module instance handle (HINSTANCE). */
typedef void *VDXHINSTANCE;

struct FilterDefinition;
struct FilterActivation;
struct FilterFunctions;
struct FilterModule;
struct CScriptValue;
class IScriptInterpreter;

/* Callbacks of a filter definition; the activation record always comes first. */
typedef int(VDCDECL *FilterInitProc)(FilterActivation *fa, const FilterFunctions *ff);
typedef void(VDCDECL *FilterDeinitProc)(FilterActivation *fa, const FilterFunctions *ff);
typedef int(VDCDECL *FilterRunProc)(const FilterActivation *fa, const FilterFunctions *ff);
typedef long(VDCDECL *FilterParamProc)(FilterActivation *fa, const FilterFunctions *ff);
typedef int(VDCDECL *FilterConfigProc)(FilterActivation *fa, const FilterFunctions *ff,
                                       VDXHWND hwnd);
typedef void(VDCDECL *FilterStringProc)(const FilterActivation *fa, const FilterFunctions *ff,
                                        char *buf);
typedef int(VDCDECL *FilterStartProc)(FilterActivation *fa, const FilterFunctions *ff);
typedef int(VDCDECL *FilterEndProc)(FilterActivation *fa, const FilterFunctions *ff);
typedef bool(VDCDECL *FilterScriptStrProc)(FilterActivation *fa, const FilterFunctions *ff,
                                           char *buf, int buflen);

/* Module entry points, found by their undecorated names. */
typedef int(VDCDECL *FilterModuleInitProc)(FilterModule *fm, const FilterFunctions *ff,
                                           int &vdfd_ver, int &vdfd_compat);
typedef void(VDCDECL *FilterModuleDeinitProc)(FilterModule *fm, const FilterFunctions *ff);

#define VIRTUALDUB_FILTERDEF_VERSION 6
#define VIRTUALDUB_FILTERDEF_COMPATIBLE 4

/* The host's record of one loaded module; the module reads only hInstModule. */
struct FilterModule {
    FilterModule *next;
    FilterModule *prev;
    VDXHINSTANCE hInstModule;
    FilterModuleInitProc initProc;
    FilterModuleDeinitProc deinitProc;
};

/* Script values: a 32-bit tag, a this pointer and an 8-aligned union. */
enum CScriptValueType : int32_t {
    SCRIPT_VOID = 0,
    SCRIPT_INT = 1,
    SCRIPT_PINT = 2,
    SCRIPT_STR = 3,
    SCRIPT_ARRAY = 4,
    SCRIPT_OBJECT = 5,
    SCRIPT_FNAME = 6,
    SCRIPT_FUNCTION = 7,
    SCRIPT_VARLV = 8,
    SCRIPT_LONG = 9,
    SCRIPT_DOUBLE = 10,
};

struct CScriptValue {
    CScriptValueType type;
    void *thisPtr;
    union {
        int i;
        char **s; /* the host's pointer to its characters */
        long long l;
        double d;
    } u;
};

typedef void(VDCDECL *ScriptFunctionPtr)(IScriptInterpreter *isi, void *activation,
                                         const CScriptValue *args, int count);

struct ScriptFunctionDef {
    ScriptFunctionPtr func_ptr;
    const char *name;
    const char *arg_list;
};

struct CScriptObject {
    void *lookup;
    ScriptFunctionDef *func_list;
    void *obj_list;
};

struct FilterDefinition {
    FilterDefinition *next;
    FilterDefinition *prev;
    FilterModule *module;
    const char *name;
    const char *desc;
    const char *maker;
    void *private_data;
    int inst_data_size;
    FilterInitProc initProc;
    FilterDeinitProc deinitProc;
    FilterRunProc runProc;
    FilterParamProc paramProc;
    FilterConfigProc configProc;
    FilterStringProc stringProc;
    FilterStartProc startProc;
    FilterEndProc endProc;
    CScriptObject *script_obj;
    FilterScriptStrProc fssProc;
};

/* The definition's size in the 32-bit layout; the module passes sizeof, which equals it there. */
#define FILTER_DEFINITION_SIZE_32 72

/* A frame buffer: 32-bit pixels 0x00RRGGBB, first stored row = bottom line. */
struct VFBitmap {
    void *reserved; /* a virtual-table slot in the host's class */
    uint32_t *data;
    uint32_t *palette;
    int depth;
    int w;
    int h;
    ptrdiff_t pitch;
    ptrdiff_t modulo;
    ptrdiff_t size;
    ptrdiff_t offset;
    uint32_t dwFlags;
    void *hdc;
};

struct FilterStateInfo {
    int32_t lCurrentFrame;
    int32_t lMicrosecsPerFrame;
    int32_t lCurrentSourceFrame;
    int32_t lMicrosecsPerSrcFrame;
    int32_t lSourceFrameMS;
    int32_t lDestFrameMS;
    uint32_t flags;
};

typedef bool(VDCDECL *FilterPreviewButtonCallback)(bool fNewState, void *pData);
typedef void(VDCDECL *FilterPreviewSampleCallback)(VFBitmap *, long lFrame, long lCount,
                                                   void *pData);

/* The host's preview interface: virtual functions only, slots in this order. */
class IFilterPreview {
  public:
    virtual void VDTHISCALL SetButtonCallback(FilterPreviewButtonCallback cb, void *data) = 0;
    virtual void VDTHISCALL SetSampleCallback(FilterPreviewSampleCallback cb, void *data) = 0;
    virtual bool VDTHISCALL isPreviewEnabled() = 0;
    virtual void VDTHISCALL Toggle(VDXHWND hwnd) = 0;
    virtual void VDTHISCALL Display(VDXHWND hwnd, bool fDisplay) = 0;
    virtual void VDTHISCALL RedoFrame() = 0;
    virtual void VDTHISCALL RedoSystem() = 0;
    virtual void VDTHISCALL UndoSystem() = 0;
    virtual void VDTHISCALL InitButton(VDXHWND hwnd) = 0;
    virtual void VDTHISCALL Close() = 0;
    virtual bool VDTHISCALL SampleCurrentFrame() = 0;
    virtual long VDTHISCALL SampleFrames() = 0;

  protected:
    ~IFilterPreview() = default; /* the host owns it; never deleted through this */
};

struct FilterActivation {
    FilterDefinition *filter;
    void *filter_data;
    VFBitmap *dst; /* a reference in the host's declaration; dst precedes src */
    VFBitmap *src;
    void *reserved;
    VFBitmap *last;
    uint32_t x1, y1, x2, y2;
    FilterStateInfo *pfsi;
    IFilterPreview *ifp;
    void *ifp2;
};

struct FilterFunctions {
    FilterDefinition *(VDCDECL *addFilter)(FilterModule *fm, FilterDefinition *fd, int length);
    void(VDCDECL *removeFilter)(FilterDefinition *fd);
    bool(VDCDECL *isFPUEnabled)();
    bool(VDCDECL *isMMXEnabled)();
    void(VDCDECL *InitVTables)(void *vtables);
    void(VDCDECL *ExceptOutOfMemory)();
    void(VDCDECL *Except)(const char *format, ...);
    long(VDCDECL *getCPUFlags)();
    long(VDCDECL *getHostVersionInfo)(char *buffer, int length);
};

#if defined(_WIN32) && !defined(_WIN64)
static_assert(sizeof(void *) == 4, "32-bit layout expected");
static_assert(offsetof(FilterModule, hInstModule) == 8);
static_assert(sizeof(FilterModule) == 20);
static_assert(sizeof(FilterDefinition) == FILTER_DEFINITION_SIZE_32);
static_assert(offsetof(FilterDefinition, inst_data_size) == 28);
static_assert(offsetof(FilterDefinition, initProc) == 32);
static_assert(offsetof(FilterDefinition, configProc) == 48);
static_assert(offsetof(FilterDefinition, script_obj) == 64);
static_assert(offsetof(FilterDefinition, fssProc) == 68);
static_assert(offsetof(FilterActivation, filter_data) == 4);
static_assert(offsetof(FilterActivation, dst) == 8);
static_assert(offsetof(FilterActivation, src) == 12);
static_assert(offsetof(FilterActivation, last) == 20);
static_assert(offsetof(FilterActivation, x1) == 24);
static_assert(offsetof(FilterActivation, y2) == 36);
static_assert(offsetof(FilterActivation, pfsi) == 40);
static_assert(offsetof(FilterActivation, ifp) == 44);
static_assert(offsetof(FilterActivation, ifp2) == 48);
static_assert(offsetof(VFBitmap, data) == 4);
static_assert(offsetof(VFBitmap, depth) == 12);
static_assert(offsetof(VFBitmap, w) == 16);
static_assert(offsetof(VFBitmap, pitch) == 24);
static_assert(offsetof(VFBitmap, dwFlags) == 40);
static_assert(sizeof(VFBitmap) == 48);
static_assert(sizeof(FilterStateInfo) == 28);
static_assert(sizeof(CScriptValue) == 16);
static_assert(offsetof(CScriptValue, thisPtr) == 4);
static_assert(offsetof(CScriptValue, u) == 8);
static_assert(sizeof(ScriptFunctionDef) == 12);
static_assert(sizeof(CScriptObject) == 12);
static_assert(offsetof(FilterFunctions, removeFilter) == 4);
static_assert(offsetof(FilterFunctions, getHostVersionInfo) == 32);
static_assert(sizeof(FilterFunctions) == 36);
#endif

#endif
