// A Winelib "jvm.dll" that runs the Linux HotSpot VM inside the Wine process, so the launcher and
// its tests can create a real Java VM on a machine without a Windows Java runtime. It builds for
// i386 and for x86-64; what differs between the two is in one section below.
//
// Windows callers see the Windows JNI binary interface: every function of the JNIEnv and JavaVM
// tables follows the Windows convention (__stdcall, or __cdecl for the variadic ones; on x86-64 both
// are the one Microsoft convention). The Linux VM sees its own interface: System V calls, Linux
// paths, Linux signal handling. The tables handed to Windows code are ours; each entry swaps the
// Windows-side JNIEnv/JavaVM for the VM's own and calls through.
//
// The Linux VM library to load is named in "libjvm.path" beside this library (one line, a Unix path).
#include <windows.h>

#include <jni.h>
#if defined(__x86_64__)
#include <jvmti.h>
#endif

#include <dlfcn.h>
#include <pthread.h>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <string>
#include <type_traits>
#include <utility>
#include <unordered_map>
#include <vector>

namespace {

using CreateJavaVMFn = jint (*)(JavaVM**, void**, void*);
using GetDefaultInitArgsFn = jint (*)(void*);
using GetCreatedJavaVMsFn = jint (*)(JavaVM**, jsize, jsize*);

struct LinuxVmLibrary {
    CreateJavaVMFn createJavaVM = nullptr;
    GetDefaultInitArgsFn getDefaultInitArgs = nullptr;
    GetCreatedJavaVMsFn getCreatedJavaVMs = nullptr;
};

// The Windows-side handles: a table pointer first, as JNI lays them out, then the VM's own handle.
struct WindowsEnv {
    JNIEnv_ env;
    JNIEnv* linuxEnv;
};
struct WindowsVm {
    JavaVM_ vm;
    JavaVM* linuxVm;
};

JNINativeInterface_ windowsEnvTable;
JNIInvokeInterface_ windowsVmTable;
WindowsVm windowsVm{{&windowsVmTable}, nullptr};

std::mutex envMutex;
std::unordered_map<JNIEnv*, WindowsEnv*>& windowsEnvs() {
    static auto* envs = new std::unordered_map<JNIEnv*, WindowsEnv*>();
    return *envs;
}

void report(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::fputs("jvm bridge: ", stderr);
    std::vfprintf(stderr, format, args);
    std::fputc('\n', stderr);
    va_end(args);
}

JNIEnv* linuxEnvOf(JNIEnv* env) {
    return reinterpret_cast<WindowsEnv*>(env)->linuxEnv;
}

// One Windows-side JNIEnv per VM thread, made on first sight and kept: JNIEnv handles live as long
// as their thread is attached, and callers compare and cache them.
JNIEnv* windowsEnvFor(JNIEnv* linuxEnv) {
    if (linuxEnv == nullptr)
        return nullptr;
    std::lock_guard<std::mutex> lock(envMutex);
    WindowsEnv*& slot = windowsEnvs()[linuxEnv];
    if (slot == nullptr)
        slot = new WindowsEnv{{&windowsEnvTable}, linuxEnv};
    return &slot->env;
}

template <typename Fn>
Fn linuxEntry(JNIEnv* linuxEnv, size_t offset) {
    return *reinterpret_cast<Fn const*>(reinterpret_cast<const char*>(linuxEnv->functions) + offset);
}

// The Windows face of one table entry: it swaps the Windows-side JNIEnv for the VM's own and calls
// the VM's entry at the same place in its table.
template <size_t Offset, typename Fn>
struct EnvEntry;

template <size_t Offset, typename R, typename... A>
struct EnvEntry<Offset, R (*)(JNIEnv*, A...)> {
    static R __stdcall call(JNIEnv* env, A... args) {
        JNIEnv* linuxEnv = linuxEnvOf(env);
        return linuxEntry<R (*)(JNIEnv*, A...)>(linuxEnv, Offset)(linuxEnv, args...);
    }
};

// --- What depends on the word size ---------------------------------------------------------------
//
// The method-calling entries come in threes in every JNI table: the variadic F, then FV with a
// va_list, then FA with a jvalue array. A variadic F takes its arguments as Windows code lays them
// out ("slots": what a Windows va_list points at) and hands them to callWithArguments, which each
// word size implements its own way.

#if defined(__i386__)

// On i386 a va_list is a pointer to the arguments on the stack in both conventions, so the
// arguments go to the VM's FV as they are, and the FV entries pass straight through.
using WindowsArgumentList = va_list;
#define WINDOWS_ARGUMENTS_START va_start
#define WINDOWS_ARGUMENTS_END va_end

template <typename R, typename... Targets>
R callWithArguments(JNIEnv* env, size_t variadicOffset, jmethodID method, const char* slots,
                    Targets... targets) {
    JNIEnv* linuxEnv = linuxEnvOf(env);
    auto listForm =
        linuxEntry<R (*)(JNIEnv*, Targets..., jmethodID, va_list)>(linuxEnv, variadicOffset + sizeof(void*));
    return listForm(linuxEnv, targets..., method, const_cast<char*>(slots));
}

// Calls a Windows hook that takes the exit code, whether it was declared __stdcall (the JNI
// convention on Windows) or __cdecl: the frame pointer restores the stack, so it does not matter who
// pops the argument.
extern "C" void bridgeCallWithCode(void* hook, jint code);
__asm__(
    ".text\n"
    ".type bridgeCallWithCode, @function\n"
    "bridgeCallWithCode:\n"
    "    pushl %ebp\n"
    "    movl %esp, %ebp\n"
    "    pushl 12(%ebp)\n"
    "    call *8(%ebp)\n"
    "    leave\n"
    "    ret\n"
    ".size bridgeCallWithCode, .-bridgeCallWithCode\n");

void callWindowsHookWithCode(void* hook, jint code) {
    bridgeCallWithCode(hook, code);
}

// Calls a Windows vfprintf hook (FILE*, format, va_list) either convention, as above.
extern "C" jint bridgeCallWithThree(void* hook, void* first, const void* second, void* third);
__asm__(
    ".text\n"
    ".type bridgeCallWithThree, @function\n"
    "bridgeCallWithThree:\n"
    "    pushl %ebp\n"
    "    movl %esp, %ebp\n"
    "    pushl 20(%ebp)\n"
    "    pushl 16(%ebp)\n"
    "    pushl 12(%ebp)\n"
    "    call *8(%ebp)\n"
    "    leave\n"
    "    ret\n"
    ".size bridgeCallWithThree, .-bridgeCallWithThree\n");

// A Windows va_list is a pointer to the arguments as they lie on the stack: here the one text.
jint callWindowsPrintHook(void* hook, const char* text) {
    const char* arguments[] = {text};
    return bridgeCallWithThree(hook, nullptr, "%s", arguments);
}

// The Wine process shares its 32-bit address space with Wine's own reservations, so the VM's default
// heap (a quarter of the machine's memory) may not find room; 256 MiB always does.
constexpr const char* kDefaultHeapOption = "-Xmx256m";

#elif defined(__x86_64__)

// On x86-64 a Windows va_list is a pointer to 8-byte argument slots, while the VM's is a System V
// register save area: handing one to the other crashes the VM. So the variadic and the va_list
// entries both read the slots by the method's signature into a jvalue array and call the VM's FA;
// the FA entries pass straight through.
using WindowsArgumentList = __builtin_ms_va_list;
#define WINDOWS_ARGUMENTS_START __builtin_ms_va_start
#define WINDOWS_ARGUMENTS_END __builtin_ms_va_end

// Every variadic argument fills one slot; narrower integers were promoted to int and floats to
// double on the way in.
constexpr size_t kSlotSize = 8;

template <typename T>
T slotValue(const char* slot) {
    T value;
    std::memcpy(&value, slot, sizeof value);
    return value;
}

jvalue valueFromSlot(char kind, const char* slot) {
    jvalue value{};
    switch (kind) {
        case 'Z':
            value.z = static_cast<jboolean>(slotValue<int>(slot));
            break;
        case 'B':
            value.b = static_cast<jbyte>(slotValue<int>(slot));
            break;
        case 'C':
            value.c = static_cast<jchar>(slotValue<int>(slot));
            break;
        case 'S':
            value.s = static_cast<jshort>(slotValue<int>(slot));
            break;
        case 'I':
            value.i = slotValue<jint>(slot);
            break;
        case 'J':
            value.j = slotValue<jlong>(slot);
            break;
        case 'F':
            value.f = static_cast<jfloat>(slotValue<double>(slot));
            break;
        case 'D':
            value.d = slotValue<double>(slot);
            break;
        default:
            value.l = slotValue<jobject>(slot);
            break;
    }
    return value;
}

// One letter per parameter of a method descriptor such as "(I[JLjava/lang/String;)V": the
// descriptor's own letter for a primitive, 'L' for every reference, arrays included.
std::string parameterKinds(const char* descriptor) {
    std::string kinds;
    const char* at = std::strchr(descriptor, '(');
    if (at == nullptr)
        return kinds;
    for (++at; *at != '\0' && *at != ')'; ++at) {
        if (*at != '[' && *at != 'L') {
            kinds += *at;
            continue;
        }
        while (*at == '[')
            ++at;
        if (*at == 'L')
            at = std::strchr(at, ';');
        if (at == nullptr || *at == '\0')
            break;
        kinds += 'L';
    }
    return kinds;
}

// The VM's tool interface names a method's descriptor; the kinds are kept per method, as a method
// ID stays valid (and is never reused) for the life of the VM.
std::mutex kindsMutex;
std::unordered_map<jmethodID, std::string>& kindsByMethod() {
    static auto* kinds = new std::unordered_map<jmethodID, std::string>();
    return *kinds;
}

// Asked for once, under kindsMutex.
jvmtiEnv* toolInterface(JNIEnv* linuxEnv) {
    static jvmtiEnv* tools = nullptr;
    JavaVM* linuxVm = nullptr;
    if (tools == nullptr && linuxEnv->GetJavaVM(&linuxVm) == JNI_OK &&
        linuxVm->GetEnv(reinterpret_cast<void**>(&tools), JVMTI_VERSION_1_2) != JNI_OK)
        tools = nullptr;
    return tools;
}

const std::string* parameterKindsOf(JNIEnv* linuxEnv, jmethodID method) {
    std::lock_guard<std::mutex> lock(kindsMutex);
    auto known = kindsByMethod().find(method);
    if (known != kindsByMethod().end())
        return &known->second;
    jvmtiEnv* tools = toolInterface(linuxEnv);
    char* name = nullptr;
    char* descriptor = nullptr;
    if (tools == nullptr || method == nullptr ||
        tools->GetMethodName(method, &name, &descriptor, nullptr) != JVMTI_ERROR_NONE)
        return nullptr;
    const std::string* kinds = &(kindsByMethod()[method] = parameterKinds(descriptor));
    tools->Deallocate(reinterpret_cast<unsigned char*>(name));
    tools->Deallocate(reinterpret_cast<unsigned char*>(descriptor));
    return kinds;
}

template <typename R, typename... Targets>
R callWithArguments(JNIEnv* env, size_t variadicOffset, jmethodID method, const char* slots,
                    Targets... targets) {
    JNIEnv* linuxEnv = linuxEnvOf(env);
    const std::string* kinds = parameterKindsOf(linuxEnv, method);
    if (kinds == nullptr) {
        // Calling without the arguments would hand the method whatever lies in memory.
        linuxEnv->ThrowNew(linuxEnv->FindClass("java/lang/InternalError"),
                           "jvm bridge: the method's parameter types are unknown");
        return R();
    }
    std::vector<jvalue> values(kinds->size());
    for (size_t i = 0; i < values.size(); ++i)
        values[i] = valueFromSlot((*kinds)[i], slots + i * kSlotSize);
    auto arrayForm = linuxEntry<R (*)(JNIEnv*, Targets..., jmethodID, const jvalue*)>(
        linuxEnv, variadicOffset + 2 * sizeof(void*));
    return arrayForm(linuxEnv, targets..., method, values.data());
}

// The FV entries: the VM's own declare a System V va_list, ours take the Windows one. Each FV
// follows its variadic F in the table.
template <typename R, typename Target, typename List>
List listParameterOf(R (*)(JNIEnv*, Target, jmethodID, List));
using LinuxArgumentList = decltype(listParameterOf(std::declval<JNINativeInterface_>().CallVoidMethodV));

template <size_t Offset, typename R, typename Target>
struct EnvEntry<Offset, R (*)(JNIEnv*, Target, jmethodID, LinuxArgumentList)> {
    static R __stdcall call(JNIEnv* env, Target target, jmethodID method, WindowsArgumentList args) {
        return callWithArguments<R>(env, Offset - sizeof(void*), method, args, target);
    }
};

template <size_t Offset, typename R>
struct EnvEntry<Offset, R (*)(JNIEnv*, jobject, jclass, jmethodID, LinuxArgumentList)> {
    static R __stdcall call(JNIEnv* env, jobject object, jclass clazz, jmethodID method,
                            WindowsArgumentList args) {
        return callWithArguments<R>(env, Offset - sizeof(void*), method, args, object, clazz);
    }
};

// One convention on x86-64: __stdcall and __cdecl hooks are the same call.
void callWindowsHookWithCode(void* hook, jint code) {
    reinterpret_cast<void(__stdcall*)(jint)>(hook)(code);
}

using WindowsPrintHook = jint(__stdcall*)(FILE*, const char*, __builtin_ms_va_list);

// Lays its variadic arguments out as Windows code does, for the hook's va_list.
__attribute__((ms_abi)) jint callWithWindowsList(void* hook, const char* format, ...) {
    __builtin_ms_va_list arguments;
    __builtin_ms_va_start(arguments, format);
    jint result = reinterpret_cast<WindowsPrintHook>(hook)(nullptr, format, arguments);
    __builtin_ms_va_end(arguments);
    return result;
}

jint callWindowsPrintHook(void* hook, const char* text) {
    return callWithWindowsList(hook, "%s", text);
}

// The 64-bit address space has room for the VM's default heap.
constexpr const char* kDefaultHeapOption = nullptr;

#else
#error "the bridge is built for i386 or x86-64"
#endif

// The variadic F entries (__cdecl, the Windows convention for variadic functions).
template <size_t Offset, typename R, typename Target>
struct EnvEntry<Offset, R (*)(JNIEnv*, Target, jmethodID, ...)> {
    static R __cdecl call(JNIEnv* env, Target target, jmethodID method, ...) {
        WindowsArgumentList args;
        WINDOWS_ARGUMENTS_START(args, method);
        // The slots are this call's own arguments and outlive the list.
        const char* slots = reinterpret_cast<const char*>(args);
        WINDOWS_ARGUMENTS_END(args);
        return callWithArguments<R>(env, Offset, method, slots, target);
    }
};

template <size_t Offset, typename R>
struct EnvEntry<Offset, R (*)(JNIEnv*, jobject, jclass, jmethodID, ...)> {
    static R __cdecl call(JNIEnv* env, jobject object, jclass clazz, jmethodID method, ...) {
        WindowsArgumentList args;
        WINDOWS_ARGUMENTS_START(args, method);
        const char* slots = reinterpret_cast<const char*>(args);
        WINDOWS_ARGUMENTS_END(args);
        return callWithArguments<R>(env, Offset, method, slots, object, clazz);
    }
};

// --- Windows file names ---------------------------------------------------------------------------
//
// The Linux VM opens files by their Unix names: Windows names handed to it would be relative names
// with backslashes in them.

// Winelib builds with 2-byte wchar_t while the C++ library's compiled std::wstring has 4-byte
// units, so UTF-16 text lives in a plain vector here.
using Utf16 = std::vector<WCHAR>;

// The text and its terminator; empty when the text does not convert.
Utf16 widen(const char* text, UINT codePage) {
    int units = MultiByteToWideChar(codePage, 0, text, -1, nullptr, 0);
    if (units <= 0)
        return {};
    Utf16 out(static_cast<size_t>(units), 0);
    MultiByteToWideChar(codePage, 0, text, -1, out.data(), units);
    return out;
}

// Wine names a file on drive C through the prefix's "dosdevices/c:" link, and a ":" inside an entry
// would split it in two on Linux. The real name has no such link. An entry that does not exist, or a
// "lib/*" wildcard, keeps its last part behind the real name of its folder.
std::string realUnixName(const std::string& unixName) {
    auto resolved = [](const std::string& name, std::string& out) {
        char* real = realpath(name.c_str(), nullptr);
        if (real == nullptr)
            return false;
        out = real;
        std::free(real);
        return true;
    };
    std::string real;
    if (resolved(unixName, real))
        return real;
    size_t slash = unixName.rfind('/');
    if (slash != std::string::npos && slash > 0 && resolved(unixName.substr(0, slash), real))
        return real + unixName.substr(slash);
    return unixName;
}

// The Unix name of a Windows file name (UTF-16 with its terminator); empty when Wine has none.
std::string unixFileName(const Utf16& windowsName) {
    char* unixName = windowsName.empty() ? nullptr : wine_get_unix_file_name(windowsName.data());
    if (unixName == nullptr)
        return {};
    std::string name = realUnixName(unixName);
    HeapFree(GetProcessHeap(), 0, unixName);
    return name;
}

// "C:\..." and "c:\...": a whole text that is one absolute name on a drive.
template <typename Unit>
bool isDrivePath(const Unit* text, size_t length) {
    auto letter = [](Unit c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); };
    return length >= 3 && letter(text[0]) && text[1] == ':' && text[2] == '\\';
}

// Texts that Windows code makes into Java strings: one that is a whole drive path (the launcher's
// output files among its main parameters) becomes the file's Unix name, so that the VM opens the file
// a Windows VM would open. Every other text passes unchanged.
jstring __stdcall newString(JNIEnv* env, const jchar* text, jsize length) {
    JNIEnv* linuxEnv = linuxEnvOf(env);
    if (text != nullptr && length > 0 && isDrivePath(text, static_cast<size_t>(length))) {
        Utf16 windowsName(text, text + length);
        windowsName.push_back(0);
        Utf16 unixName = widen(unixFileName(windowsName).c_str(), CP_UTF8);
        if (unixName.size() > 1)
            return linuxEnv->NewString(reinterpret_cast<const jchar*>(unixName.data()),
                                       static_cast<jsize>(unixName.size() - 1));
    }
    return linuxEnv->NewString(text, length);
}

// The tables are declared with the VM's own (cdecl) entry types; the tables we hand to Windows code
// hold entries of the Windows convention, which only Windows code calls.
template <typename Slot, typename Entry>
Slot asSlot(Entry entry) {
    return reinterpret_cast<Slot>(entry);
}

jint __stdcall getJavaVM(JNIEnv*, JavaVM** vm) {
    *vm = &windowsVm.vm;
    return JNI_OK;
}

// Native methods registered from Windows code would need a reverse call for every signature; the
// programs this library serves register none, so refuse rather than hand the VM Windows code.
jint __stdcall registerNatives(JNIEnv*, jclass, const JNINativeMethod*, jint) {
    report("RegisterNatives with Windows functions is not supported");
    return JNI_ERR;
}

#define JNI_FUNCTION(name) +1
constexpr size_t kListedFunctions = 0
#include "jni_functions.inc"
    ;
#undef JNI_FUNCTION
// Four reserved slots lead the table; the list must name every other one.
static_assert(4 + kListedFunctions == sizeof(JNINativeInterface_) / sizeof(void*));

void fillEnvTable() {
#define JNI_FUNCTION(name)                                         \
    windowsEnvTable.name = asSlot<decltype(windowsEnvTable.name)>( \
        &EnvEntry<offsetof(JNINativeInterface_, name), decltype(windowsEnvTable.name)>::call);
#include "jni_functions.inc"
#undef JNI_FUNCTION
    windowsEnvTable.GetJavaVM = asSlot<decltype(windowsEnvTable.GetJavaVM)>(&getJavaVM);
    windowsEnvTable.RegisterNatives = asSlot<decltype(windowsEnvTable.RegisterNatives)>(&registerNatives);
    windowsEnvTable.NewString = asSlot<decltype(windowsEnvTable.NewString)>(&newString);
}

JavaVM* linuxVmOf(JavaVM* vm) {
    return reinterpret_cast<WindowsVm*>(vm)->linuxVm;
}

jint __stdcall destroyJavaVM(JavaVM* vm) {
    JavaVM* linuxVm = linuxVmOf(vm);
    return linuxVm->functions->DestroyJavaVM(linuxVm);
}

jint __stdcall attachCurrentThread(JavaVM* vm, void** penv, void* args) {
    JavaVM* linuxVm = linuxVmOf(vm);
    JNIEnv* linuxEnv = nullptr;
    jint result = linuxVm->functions->AttachCurrentThread(linuxVm, reinterpret_cast<void**>(&linuxEnv), args);
    *penv = windowsEnvFor(linuxEnv);
    return result;
}

jint __stdcall attachCurrentThreadAsDaemon(JavaVM* vm, void** penv, void* args) {
    JavaVM* linuxVm = linuxVmOf(vm);
    JNIEnv* linuxEnv = nullptr;
    jint result =
        linuxVm->functions->AttachCurrentThreadAsDaemon(linuxVm, reinterpret_cast<void**>(&linuxEnv), args);
    *penv = windowsEnvFor(linuxEnv);
    return result;
}

jint __stdcall detachCurrentThread(JavaVM* vm) {
    JavaVM* linuxVm = linuxVmOf(vm);
    return linuxVm->functions->DetachCurrentThread(linuxVm);
}

// Only JNI environments have a Windows face; tool interfaces (JVMTI and the like) do not.
constexpr jint kToolInterfaceVersionBits = 0x30000000;

jint __stdcall getEnv(JavaVM* vm, void** penv, jint version) {
    if ((version & kToolInterfaceVersionBits) != 0) {
        *penv = nullptr;
        return JNI_EVERSION;
    }
    JavaVM* linuxVm = linuxVmOf(vm);
    JNIEnv* linuxEnv = nullptr;
    jint result = linuxVm->functions->GetEnv(linuxVm, reinterpret_cast<void**>(&linuxEnv), version);
    *penv = windowsEnvFor(linuxEnv);
    return result;
}

void fillVmTable() {
    windowsVmTable.DestroyJavaVM = asSlot<decltype(windowsVmTable.DestroyJavaVM)>(&destroyJavaVM);
    windowsVmTable.AttachCurrentThread =
        asSlot<decltype(windowsVmTable.AttachCurrentThread)>(&attachCurrentThread);
    windowsVmTable.DetachCurrentThread =
        asSlot<decltype(windowsVmTable.DetachCurrentThread)>(&detachCurrentThread);
    windowsVmTable.GetEnv = asSlot<decltype(windowsVmTable.GetEnv)>(&getEnv);
    windowsVmTable.AttachCurrentThreadAsDaemon =
        asSlot<decltype(windowsVmTable.AttachCurrentThreadAsDaemon)>(&attachCurrentThreadAsDaemon);
}

// --- Loading the Linux VM -------------------------------------------------------------------------

std::string directoryOfThisLibrary() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&directoryOfThisLibrary), &info) == 0 || info.dli_fname == nullptr)
        return ".";
    std::string path = info.dli_fname;
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : path.substr(0, slash);
}

std::string readLibjvmPath() {
    std::string file = directoryOfThisLibrary() + "/libjvm.path";
    FILE* in = std::fopen(file.c_str(), "r");
    if (in == nullptr) {
        report("cannot read %s", file.c_str());
        return {};
    }
    char line[4096] = {};
    bool read = std::fgets(line, sizeof line, in) != nullptr;
    std::fclose(in);
    if (!read) {
        report("%s is empty", file.c_str());
        return {};
    }
    line[std::strcspn(line, "\r\n")] = '\0';
    return line;
}

const LinuxVmLibrary* linuxVmLibrary() {
    static LinuxVmLibrary library;
    static bool tried = false;
    if (tried)
        return library.createJavaVM != nullptr ? &library : nullptr;
    tried = true;
    std::string path = readLibjvmPath();
    if (path.empty())
        return nullptr;
    // Global, as the Linux launcher loads it: the runtime's own libraries bind to its JVM_ symbols.
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_GLOBAL);
    if (handle == nullptr) {
        report("cannot load %s: %s", path.c_str(), dlerror());
        return nullptr;
    }
    library.createJavaVM = reinterpret_cast<CreateJavaVMFn>(dlsym(handle, "JNI_CreateJavaVM"));
    library.getDefaultInitArgs =
        reinterpret_cast<GetDefaultInitArgsFn>(dlsym(handle, "JNI_GetDefaultJavaVMInitArgs"));
    library.getCreatedJavaVMs = reinterpret_cast<GetCreatedJavaVMsFn>(dlsym(handle, "JNI_GetCreatedJavaVMs"));
    if (library.createJavaVM == nullptr || library.getDefaultInitArgs == nullptr ||
        library.getCreatedJavaVMs == nullptr) {
        report("%s lacks the JNI entry points", path.c_str());
        library = {};
        return nullptr;
    }
    fillEnvTable();
    fillVmTable();
    return &library;
}

// --- Ending the process -----------------------------------------------------------------------------
//
// The VM calls its exit and abort hooks on threads of its own (the VM thread, mostly), which Wine
// does not know: Windows code must not run there. So the hooks only pass the request through a pipe
// to a thread made by CreateThread, which calls the caller's own hook and then ends the Wine process
// with the code, so the parent sees it.

// A thread Wine knows, to run Windows code on behalf of the VM's own threads; it lives as long as the
// process.
bool startWindowsThread(LPTHREAD_START_ROUTINE routine, const char* what) {
    HANDLE thread = CreateThread(nullptr, 0, routine, nullptr, 0, nullptr);
    if (thread == nullptr) {
        report("cannot start the %s thread (error %lu)", what, static_cast<unsigned long>(GetLastError()));
        return false;
    }
    CloseHandle(thread);
    return true;
}

enum class EndKind : jint { exit, abort };
struct EndRequest {
    EndKind kind;
    jint code;
};

// A Windows abort ends the process with exit code 3; the bridge keeps that meaning.
constexpr jint kAbortExitCode = 3;

int endPipe[2] = {-1, -1};
void* windowsExitHook = nullptr;
void* windowsAbortHook = nullptr;

DWORD WINAPI endThread(void*) {
    EndRequest request{};
    ssize_t got;
    do {
        got = read(endPipe[0], &request, sizeof request);
    } while (got < 0 && errno == EINTR);
    if (got != static_cast<ssize_t>(sizeof request))
        return 0;
    if (request.kind == EndKind::exit) {
        if (windowsExitHook != nullptr)
            callWindowsHookWithCode(windowsExitHook, request.code);
        ExitProcess(static_cast<UINT>(request.code));
    }
    // Without arguments both Windows conventions are the same call.
    if (windowsAbortHook != nullptr)
        reinterpret_cast<void(__stdcall*)()>(windowsAbortHook)();
    ExitProcess(kAbortExitCode);
}

[[noreturn]] void requestEnd(EndKind kind, jint code) {
    EndRequest request{kind, code};
    if (write(endPipe[1], &request, sizeof request) != static_cast<ssize_t>(sizeof request))
        _exit(code);
    // The end thread ends the process, this thread with it.
    for (;;)
        pause();
}

void linuxExitHook(jint code) {
    requestEnd(EndKind::exit, code);
}
void linuxAbortHook() {
    requestEnd(EndKind::abort, kAbortExitCode);
}

bool startEndThread() {
    if (pipe(endPipe) != 0) {
        report("cannot make the exit pipe: %s", std::strerror(errno));
        return false;
    }
    return startWindowsThread(&endThread, "exit");
}

// --- Printing -----------------------------------------------------------------------------------------
//
// The VM prints through its vfprintf hook on any of its threads, Windows code must not run there, and
// the Windows hook takes a Windows va_list. So the bridge's hook formats the text itself and hands it to
// a thread made by CreateThread, which calls the caller's hook with "%s" and the text; the VM's thread
// waits until it is done, so the text is out before the VM goes on (to end the process, say). Prints to
// the VM's other streams stay on the Linux side.

void* windowsPrintHook = nullptr;
std::mutex printMutex;
std::condition_variable printChanged;
const std::string* printPending = nullptr;  // the text the print thread is to pass on; null when done

DWORD WINAPI printThread(void*) {
    std::unique_lock<std::mutex> lock(printMutex);
    for (;;) {
        printChanged.wait(lock, [] { return printPending != nullptr; });
        callWindowsPrintHook(windowsPrintHook, printPending->c_str());
        printPending = nullptr;
        printChanged.notify_all();
    }
}

jint linuxPrintHook(FILE* stream, const char* format, va_list arguments) {
    // Only the VM's standard output and error are the caller's to redirect; a print to a stream of its
    // own (a -Xlog file) goes there through the VM's own C library, as it would without the hook. The
    // caller is handed no stream: it takes the text as one of the standard streams'.
    if (stream != stdout && stream != stderr)
        return std::vfprintf(stream, format, arguments);
    va_list counting;
    va_copy(counting, arguments);
    int length = std::vsnprintf(nullptr, 0, format, counting);
    va_end(counting);
    if (length <= 0)
        return length;
    std::string text(static_cast<size_t>(length) + 1, '\0');
    std::vsnprintf(text.data(), text.size(), format, arguments);
    text.resize(static_cast<size_t>(length));
    std::unique_lock<std::mutex> lock(printMutex);
    printChanged.wait(lock, [] { return printPending == nullptr; });
    printPending = &text;
    printChanged.notify_all();
    printChanged.wait(lock, [&] { return printPending != &text; });
    return length;
}

bool startPrintThread() {
    return startWindowsThread(&printThread, "print");
}

// --- Options ------------------------------------------------------------------------------------------

// Windows-side option texts are ANSI; the Linux VM reads UTF-8.
std::string ansiToUtf8(const char* text) {
    Utf16 wide = widen(text, CP_ACP);
    if (wide.empty())
        return text;
    int bytes = WideCharToMultiByte(CP_UTF8, 0, wide.data(), -1, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0)
        return text;
    std::string out(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), -1, out.data(), bytes, nullptr, nullptr);
    out.resize(static_cast<size_t>(bytes - 1));
    return out;
}

constexpr char kClassPathOption[] = "-Djava.class.path=";

// "C:\app\a.jar;lib\*" becomes "/home/u/.wine/drive_c/app/a.jar:/cwd/lib/*".
std::string unixClassPath(const char* windowsList) {
    std::string result;
    std::string list = windowsList;
    size_t start = 0;
    while (start <= list.size()) {
        size_t end = list.find(';', start);
        if (end == std::string::npos)
            end = list.size();
        std::string entry = list.substr(start, end - start);
        start = end + 1;
        if (entry.empty())
            continue;
        std::string name = unixFileName(widen(entry.c_str(), CP_ACP));
        if (name.empty()) {
            report("class path entry %s has no Unix name; left out", entry.c_str());
            continue;
        }
        if (name.find(':') != std::string::npos) {
            report("class path entry %s has a \":\" in its Unix name %s; left out", entry.c_str(),
                   name.c_str());
            continue;
        }
        if (!result.empty())
            result += ':';
        result += name;
    }
    return result;
}

bool startsWith(const char* text, const char* prefix) {
    return std::strncmp(text, prefix, std::strlen(prefix)) == 0;
}

// Options whose value is one file: the class-data archive to map and the one to write at the exit.
constexpr const char* kFileOptions[] = {"-XX:SharedArchiveFile=", "-XX:ArchiveClassesAtExit="};

// A property, or an option whose value names one file.
bool takesFileName(const char* text) {
    if (startsWith(text, "-D"))
        return true;
    for (const char* option : kFileOptions) {
        if (startsWith(text, option))
            return true;
    }
    return false;
}

// "-Dname=C:\dir" becomes "-Dname=/unix/dir" (the launcher's own properties name its executable and
// the folder of its included files), and so do the archive options' drive paths; every other option
// goes from ANSI to UTF-8.
std::string linuxOption(const char* text) {
    if (startsWith(text, kClassPathOption))
        return kClassPathOption + unixClassPath(text + std::strlen(kClassPathOption));
    const char* equals = std::strchr(text, '=');
    // "-Xlog:gc:file=C:\logs\gc.log": a log output into a file of its own, the path to the end.
    const char* logFile = startsWith(text, "-Xlog:") ? std::strstr(text, ":file=") : nullptr;
    if (logFile != nullptr && isDrivePath(logFile + 6, std::strlen(logFile + 6))) {
        std::string name = unixFileName(widen(logFile + 6, CP_ACP));
        if (!name.empty())
            return ansiToUtf8(std::string(text, logFile + 6).c_str()) + name;
    }
    if (takesFileName(text) && equals != nullptr && isDrivePath(equals + 1, std::strlen(equals + 1))) {
        std::string name = unixFileName(widen(equals + 1, CP_ACP));
        if (!name.empty())
            return ansiToUtf8(std::string(text, equals + 1).c_str()) + name;
    }
    return ansiToUtf8(text);
}

// Options as the Linux VM must see them. Texts and array live as long as the process, as the VM
// may keep pointers into them.
JavaVMInitArgs* linuxInitArgs(const JavaVMInitArgs* windowsArgs) {
    auto* options = new std::vector<JavaVMOption>();
    bool hasHeapLimit = false;
    bool reducesSignals = false;
    bool hasExitHook = false;
    for (jint i = 0; i < windowsArgs->nOptions; ++i) {
        const JavaVMOption& option = windowsArgs->options[i];
        const char* text = option.optionString;
        if (text == nullptr)
            continue;
        if (std::strcmp(text, "exit") == 0) {
            windowsExitHook = option.extraInfo;
            hasExitHook = true;
            options->push_back({const_cast<char*>("exit"), reinterpret_cast<void*>(&linuxExitHook)});
            continue;
        }
        if (std::strcmp(text, "abort") == 0) {
            windowsAbortHook = option.extraInfo;
            options->push_back({const_cast<char*>("abort"), reinterpret_cast<void*>(&linuxAbortHook)});
            continue;
        }
        if (std::strcmp(text, "vfprintf") == 0) {
            if (option.extraInfo == nullptr || (windowsPrintHook == nullptr && !startPrintThread()))
                continue;  // the VM prints on its own standard streams
            windowsPrintHook = option.extraInfo;
            options->push_back({const_cast<char*>("vfprintf"), reinterpret_cast<void*>(&linuxPrintHook)});
            continue;
        }
        std::string linuxText = linuxOption(text);
        hasHeapLimit = hasHeapLimit || startsWith(text, "-Xmx") || startsWith(text, "-XX:MaxHeapSize=");
        // Without -Xrs the VM takes over signals that Wine needs for its own console and exit handling.
        reducesSignals = reducesSignals || std::strcmp(text, "-Xrs") == 0;
        options->push_back({strdup(linuxText.c_str()), option.extraInfo});
    }
    if (!hasHeapLimit && kDefaultHeapOption != nullptr)
        options->push_back({const_cast<char*>(kDefaultHeapOption), nullptr});
    if (!reducesSignals)
        options->push_back({const_cast<char*>("-Xrs"), nullptr});
    // The process must end through the end thread even when the caller has no hook of its own.
    if (!hasExitHook)
        options->push_back({const_cast<char*>("exit"), reinterpret_cast<void*>(&linuxExitHook)});
    auto* args = new JavaVMInitArgs{};
    args->version = windowsArgs->version;
    args->nOptions = static_cast<jint>(options->size());
    args->options = options->data();
    args->ignoreUnrecognized = windowsArgs->ignoreUnrecognized;
    return args;
}

// A Windows VM reads its options variables from the Windows environment, which a service gets from the
// service manager and a child from its parent's environment block. Wine builds a process's Unix
// environment from its parent's Unix one instead, so the Linux VM would see neither: the bridge hands
// the Windows values over (as UTF-8) and leaves no Unix value the Windows side does not have.
void passOptionsVariables() {
    for (const char* name : {"JAVA_TOOL_OPTIONS", "_JAVA_OPTIONS"}) {
        SetLastError(ERROR_SUCCESS);
        DWORD size = GetEnvironmentVariableA(name, nullptr, 0);
        if (size == 0 && GetLastError() == ERROR_ENVVAR_NOT_FOUND) {
            unsetenv(name);
            continue;
        }
        std::string value(size + 1, '\0');
        DWORD length = GetEnvironmentVariableA(name, value.data(), static_cast<DWORD>(value.size()));
        value.resize(length < value.size() ? length : 0);
        setenv(name, ansiToUtf8(value.c_str()).c_str(), 1);
    }
}

// The VM installs its handlers without SA_ONSTACK. Wine's handlers, to which the VM passes the
// signals it does not recognise (faults in Windows code among them), must run on the alternate
// signal stack Wine gives each of its threads; on the faulting stack they take the process down.
void keepSignalsOnAlternateStack() {
    for (int signal : {SIGSEGV, SIGBUS, SIGILL, SIGFPE}) {
        struct sigaction action {};
        if (sigaction(signal, nullptr, &action) == 0 && (action.sa_flags & SA_ONSTACK) == 0) {
            action.sa_flags |= SA_ONSTACK;
            sigaction(signal, &action, nullptr);
        }
    }
}

bool onProcessMainThread() {
    return syscall(SYS_gettid) == getpid();
}

}  // namespace

extern "C" jint WINAPI bridgeCreateJavaVM(JavaVM** pvm, void** penv, void* args) {
    if (onProcessMainThread()) {
        // The VM takes the main thread's stack for the Linux process stack and misplaces its guards.
        report("create the VM on a thread of its own (CreateThread), not on the main thread");
        return JNI_ERR;
    }
    if (pvm == nullptr || penv == nullptr || args == nullptr) {
        report("JNI_CreateJavaVM needs the addresses of both handles and the arguments");
        return JNI_EINVAL;
    }
    const LinuxVmLibrary* library = linuxVmLibrary();
    if (library == nullptr)
        return JNI_ERR;
    if (windowsVm.linuxVm != nullptr)
        return JNI_EEXIST;
    if (!startEndThread())
        return JNI_ERR;
    passOptionsVariables();
    JavaVM* linuxVm = nullptr;
    JNIEnv* linuxEnv = nullptr;
    jint result = library->createJavaVM(&linuxVm, reinterpret_cast<void**>(&linuxEnv),
                                        linuxInitArgs(static_cast<const JavaVMInitArgs*>(args)));
    keepSignalsOnAlternateStack();
    if (result != JNI_OK)
        return result;
    windowsVm.linuxVm = linuxVm;
    *pvm = &windowsVm.vm;
    *penv = windowsEnvFor(linuxEnv);
    return JNI_OK;
}

extern "C" jint WINAPI bridgeGetDefaultJavaVMInitArgs(void* args) {
    const LinuxVmLibrary* library = linuxVmLibrary();
    return library == nullptr ? JNI_ERR : library->getDefaultInitArgs(args);
}

extern "C" jint WINAPI bridgeGetCreatedJavaVMs(JavaVM** vms, jsize capacity, jsize* count) {
    jsize created = windowsVm.linuxVm != nullptr ? 1 : 0;
    if (capacity > 0 && created > 0)
        vms[0] = &windowsVm.vm;
    if (count != nullptr)
        *count = created;
    return JNI_OK;
}
