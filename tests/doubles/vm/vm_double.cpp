#include "vm_double.h"

#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <memory>
#include <mutex>
#include <sstream>

namespace vmdouble {

namespace {

constexpr const char* kRuntimeClass = "com/brolt/runtime/WinLauncher";
constexpr const char* kFirstRunClass = "com/quendrial/runtime/FirstRun";
constexpr std::string_view kClassPathOption = "-Djava.class.path=";
// Never found: the launcher then reads an exception's text through its toString.
const std::set<std::string> kAbsentClasses = {"java/io/StringWriter", "java/io/PrintWriter"};
// The process ends with this code when the launcher calls a function the double does not offer.
constexpr UINT kUnexpectedCallExitCode = 99;

struct FakeObject {
    std::string className;              // of a class object: its name; of anything else: its class
    std::u16string text;                // String
    std::vector<FakeObject*> elements;  // array
    std::string message;                // Throwable
};

struct FakeMethod {
    std::string className;
    std::string name;
    std::string signature;
};

struct State {
    Behaviour behaviour;
    Record record;
    // Written through the system, not the runtime library: a service's process starts without standard
    // streams, and the library's stream state is no business of a test record.
    HANDLE recordFile = INVALID_HANDLE_VALUE;
    HANDLE standardErrorFile = INVALID_HANDLE_VALUE;  // where main redirected standard error
    DWORD creatingThread = 0;
    bool created = false;
    jint(JNICALL* printHook)(FILE*, const char*, va_list) = nullptr;
    void(JNICALL* exitHook)(jint) = nullptr;
    void(JNICALL* abortHook)() = nullptr;
    FakeObject* pending = nullptr;  // the exception a call left
    std::deque<std::unique_ptr<FakeObject>> objects;
    std::deque<std::unique_ptr<FakeMethod>> methods;
};

// The application's thread writes to the record while the launcher's may too.
std::recursive_mutex stateLock;
State state;

JNINativeInterface_ environmentTable;
JNIInvokeInterface_ vmTable;
JNIEnv_ environment;
JavaVM_ virtualMachine;

void event(const std::string& line) {
    std::lock_guard<std::recursive_mutex> guard(stateLock);
    if (state.recordFile != INVALID_HANDLE_VALUE) {
        std::string text = line + "\n";
        DWORD written = 0;
        WriteFile(state.recordFile, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    }
}

std::string utf8(const std::u16string& text) {
    if (text.empty())
        return {};
    const wchar_t* wide = reinterpret_cast<const wchar_t*>(text.data());
    int length = static_cast<int>(text.size());
    int bytes = WideCharToMultiByte(CP_UTF8, 0, wide, length, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide, length, out.data(), bytes, nullptr, nullptr);
    return out;
}

// Every function notes itself; one called from another thread than the creating one is flagged.
void call(const std::string& function, const std::string& detail = "") {
    std::lock_guard<std::recursive_mutex> guard(stateLock);
    std::string line = detail.empty() ? function : function + " " + detail;
    state.record.calls.push_back(line);
    event("call " + line);
    if (state.created && GetCurrentThreadId() != state.creatingThread) {
        state.record.foreignThreadCalls.push_back(function);
        event("foreign-thread " + function);
    }
}

FakeObject* newObject(const std::string& className) {
    state.objects.push_back(std::make_unique<FakeObject>());
    state.objects.back()->className = className;
    return state.objects.back().get();
}

void raise(const std::string& className, const std::string& message) {
    state.pending = newObject(className);
    state.pending->message = message;
}

FakeObject* object(void* handle) {
    return static_cast<FakeObject*>(handle);
}

[[noreturn]] void JNICALL unexpectedCall() {
    event("unexpected-call");
    fprintf(stderr, "vm double: the launcher called a function the double does not offer\n");
    fflush(stderr);
    TerminateProcess(GetCurrentProcess(), kUnexpectedCallExitCode);
    for (;;) {
    }
}

void endProcess(jint code) {
    std::fflush(nullptr);
    exit(static_cast<int>(code));
}

// As the VM prints: through the launcher's vfprintf hook when it gave one.
void print(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    if (state.printHook != nullptr)
        state.printHook(stderr, format, arguments);
    va_end(arguments);
}

void runExitHook(jint code) {
    event("exit-hook " + std::to_string(code));
    if (state.exitHook != nullptr)
        state.exitHook(code);
}

// The environment's functions.

jint JNICALL getVersion(JNIEnv*) {
    call("GetVersion");
    return JNI_VERSION_1_2;
}

jclass JNICALL findClass(JNIEnv*, const char* name) {
    std::lock_guard<std::recursive_mutex> guard(stateLock);
    if (state.behaviour.missingClasses.count(name) != 0 || kAbsentClasses.count(name) != 0) {
        call("FindClass", std::string(name) + " -> null");
        raise("java/lang/NoClassDefFoundError", name);
        return nullptr;
    }
    call("FindClass", name);
    return reinterpret_cast<jclass>(newObject(name));
}

// A method of any name is there unless the behaviour says it is missing.
jmethodID methodID(const char* function, jclass type, const char* name, const char* signature) {
    std::lock_guard<std::recursive_mutex> guard(stateLock);
    std::string qualified = object(type)->className + "." + name;
    if (state.behaviour.missingMethods.count(qualified) != 0) {
        call(function, qualified + signature + " -> null");
        raise("java/lang/NoSuchMethodError", qualified);
        return nullptr;
    }
    call(function, qualified + signature);
    state.methods.push_back(
        std::make_unique<FakeMethod>(FakeMethod{object(type)->className, name, signature}));
    return reinterpret_cast<jmethodID>(state.methods.back().get());
}

jmethodID JNICALL getStaticMethodID(JNIEnv*, jclass type, const char* name, const char* signature) {
    return methodID("GetStaticMethodID", type, name, signature);
}

// Instance methods: an exception's toString is the one the double acts on.
jmethodID JNICALL getMethodID(JNIEnv*, jclass type, const char* name, const char* signature) {
    return methodID("GetMethodID", type, name, signature);
}

// "java.lang.IllegalStateException: <message>", as Throwable.toString makes it.
std::u16string throwableText(const FakeObject* thrown) {
    std::string type = thrown->className;
    for (char& c : type) {
        if (c == '/')
            c = '.';
    }
    std::string text = type + ": " + thrown->message;
    return std::u16string(text.begin(), text.end());
}

jobject callObject(const char* form, jobject target, jmethodID id) {
    std::lock_guard<std::recursive_mutex> guard(stateLock);
    FakeMethod* method = reinterpret_cast<FakeMethod*>(id);
    call(form, method->className + "." + method->name);
    if (method->name != "toString")
        return nullptr;
    FakeObject* string = newObject("java/lang/String");
    string->text = throwableText(object(target));
    return reinterpret_cast<jobject>(string);
}

jobject JNICALL callObjectMethod(JNIEnv*, jobject target, jmethodID method, ...) {
    return callObject("CallObjectMethod", target, method);
}

jobject JNICALL callObjectMethodV(JNIEnv*, jobject target, jmethodID method, va_list) {
    return callObject("CallObjectMethodV", target, method);
}

jobject JNICALL callObjectMethodA(JNIEnv*, jobject target, jmethodID method, const jvalue*) {
    return callObject("CallObjectMethodA", target, method);
}

jsize JNICALL getStringLength(JNIEnv*, jstring text) {
    call("GetStringLength");
    return static_cast<jsize>(object(text)->text.size());
}

const jchar* JNICALL getStringChars(JNIEnv*, jstring text, jboolean* isCopy) {
    call("GetStringChars");
    if (isCopy != nullptr)
        *isCopy = JNI_FALSE;
    return reinterpret_cast<const jchar*>(object(text)->text.c_str());
}

void JNICALL releaseStringChars(JNIEnv*, jstring, const jchar*) {
    call("ReleaseStringChars");
}

jint JNICALL throwObject(JNIEnv*, jthrowable thrown) {
    std::lock_guard<std::recursive_mutex> guard(stateLock);
    call("Throw", object(thrown)->className);
    state.pending = object(thrown);
    return JNI_OK;
}

jobjectArray JNICALL newObjectArray(JNIEnv*, jsize length, jclass type, jobject initial) {
    std::lock_guard<std::recursive_mutex> guard(stateLock);
    call("NewObjectArray", std::to_string(length) + " " + object(type)->className);
    FakeObject* array = newObject("[L" + object(type)->className + ";");
    array->elements.assign(static_cast<size_t>(length), object(initial));
    return reinterpret_cast<jobjectArray>(array);
}

jstring JNICALL newString(JNIEnv*, const jchar* text, jsize length) {
    std::lock_guard<std::recursive_mutex> guard(stateLock);
    call("NewString");
    FakeObject* string = newObject("java/lang/String");
    string->text.assign(reinterpret_cast<const char16_t*>(text), static_cast<size_t>(length));
    return reinterpret_cast<jstring>(string);
}

void JNICALL setObjectArrayElement(JNIEnv*, jobjectArray array, jsize index, jobject value) {
    std::lock_guard<std::recursive_mutex> guard(stateLock);
    call("SetObjectArrayElement", std::to_string(index));
    object(array)->elements.at(static_cast<size_t>(index)) = object(value);
}

void JNICALL deleteLocalRef(JNIEnv*, jobject) {
    call("DeleteLocalRef");
}

jthrowable JNICALL exceptionOccurred(JNIEnv*) {
    std::lock_guard<std::recursive_mutex> guard(stateLock);
    call("ExceptionOccurred", state.pending != nullptr ? "-> " + state.pending->className : "");
    return reinterpret_cast<jthrowable>(state.pending);
}

jboolean JNICALL exceptionCheck(JNIEnv*) {
    std::lock_guard<std::recursive_mutex> guard(stateLock);
    call("ExceptionCheck", state.pending != nullptr ? "-> " + state.pending->className : "");
    return state.pending != nullptr ? JNI_TRUE : JNI_FALSE;
}

void JNICALL exceptionDescribe(JNIEnv*) {
    std::lock_guard<std::recursive_mutex> guard(stateLock);
    call("ExceptionDescribe");
    if (state.pending == nullptr)
        return;
    std::string type = state.pending->className;
    for (char& c : type) {
        if (c == '/')
            c = '.';
    }
    std::string trace = "Exception in thread \"main\" " + type + ": " + state.pending->message +
                        "\n\tat com.brolt.runtime.WinLauncher.main(vm double)\n";
    if (state.standardErrorFile != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        WriteFile(state.standardErrorFile, trace.data(), static_cast<DWORD>(trace.size()), &written, nullptr);
    } else {
        fputs(trace.c_str(), stderr);
        fflush(stderr);
    }
    state.pending = nullptr;
}

void JNICALL exceptionClear(JNIEnv*) {
    std::lock_guard<std::recursive_mutex> guard(stateLock);
    call("ExceptionClear");
    state.pending = nullptr;
}

// The application ends on a thread of its own once main has returned.
DWORD WINAPI applicationEnd(void*) {
    Sleep(state.behaviour.applicationEndDelayMs);
    if (state.behaviour.applicationAborts) {
        event("abort-hook");
        if (state.abortHook != nullptr)
            state.abortHook();
        std::fflush(nullptr);
        TerminateProcess(GetCurrentProcess(), 3);  // an abort skips every exit hook of the runtime library
    }
    applicationExit(*state.behaviour.applicationExitCode);
    return 0;
}

void runMain(FakeObject* parameters) {
    std::vector<std::u16string> texts;
    {
        std::lock_guard<std::recursive_mutex> guard(stateLock);
        for (size_t i = 0; i < parameters->elements.size(); ++i) {
            FakeObject* parameter = parameters->elements[i];
            std::u16string text = parameter != nullptr ? parameter->text : u"";
            texts.push_back(text);
            state.record.mainParameters.push_back(utf8(text));
            event("param " + std::to_string(i) + " " + utf8(text));
        }
    }
    if (state.behaviour.redirectStandardError && texts.size() > 4 && !texts[2].empty()) {
        bool append = texts[4] == u"true";
        HANDLE file =
            CreateFileW(reinterpret_cast<const wchar_t*>(texts[2].c_str()),
                        append ? FILE_APPEND_DATA : GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                        nullptr, append ? OPEN_ALWAYS : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        std::lock_guard<std::recursive_mutex> guard(stateLock);
        state.standardErrorFile = file;  // kept until the process ends, as the Java side keeps its stream
        SetStdHandle(STD_ERROR_HANDLE, file);
    }
    if (state.behaviour.mainThrows) {
        raise("java/lang/IllegalStateException", "the application's main failed");
        return;
    }
    if (state.behaviour.applicationExitCode || state.behaviour.applicationAborts) {
        HANDLE thread = CreateThread(nullptr, 0, applicationEnd, nullptr, 0, nullptr);
        if (thread != nullptr)
            CloseHandle(thread);
    }
}

void runExit(jint code) {
    switch (state.behaviour.exit) {
        case ExitBehaviour::EndsProcess:
            runExitHook(code);
            endProcess(code);
            break;
        case ExitBehaviour::Returns:
            break;
        case ExitBehaviour::Throws:
            raise("java/lang/SecurityException", "exit refused");
            break;
    }
}

// The methods the double knows, with their one argument taken from wherever the call form keeps it.
template <typename Argument>
void callStaticVoid(const char* form, jmethodID id, Argument argument) {
    FakeMethod* method = reinterpret_cast<FakeMethod*>(id);
    std::string qualified = method->className + "." + method->name;
    if (method->signature == "(I)V" && method->name == "exit") {
        jint code = argument.integer();
        call(form, qualified + " " + std::to_string(code));
        runExit(code);
    } else if (method->className == kRuntimeClass && method->name == "main") {
        call(form, qualified);
        runMain(object(argument.object()));
    } else {
        call(form, qualified);
    }
}

jboolean callStaticBoolean(const char* form, jmethodID id) {
    FakeMethod* method = reinterpret_cast<FakeMethod*>(id);
    call(form, method->className + "." + method->name);
    if (method->className != kFirstRunClass)
        return JNI_FALSE;
    switch (state.behaviour.firstRun) {
        case FirstRunAnswer::True:
            return JNI_TRUE;
        case FirstRunAnswer::False:
            return JNI_FALSE;
        case FirstRunAnswer::Throws:
            raise("java/lang/IllegalStateException", "firstRun failed");
            return JNI_FALSE;
    }
    return JNI_FALSE;
}

struct ListArgument {
    va_list* list;
    jint integer() { return va_arg(*list, jint); }
    jobject object() { return va_arg(*list, jobject); }
};

struct ArrayArgument {
    const jvalue* values;
    jint integer() { return values[0].i; }
    jobject object() { return values[0].l; }
};

void JNICALL callStaticVoidMethod(JNIEnv*, jclass, jmethodID method, ...) {
    va_list arguments;
    va_start(arguments, method);
    callStaticVoid("CallStaticVoidMethod", method, ListArgument{&arguments});
    va_end(arguments);
}

void JNICALL callStaticVoidMethodV(JNIEnv*, jclass, jmethodID method, va_list arguments) {
    va_list copy;
    va_copy(copy, arguments);
    callStaticVoid("CallStaticVoidMethodV", method, ListArgument{&copy});
    va_end(copy);
}

void JNICALL callStaticVoidMethodA(JNIEnv*, jclass, jmethodID method, const jvalue* arguments) {
    callStaticVoid("CallStaticVoidMethodA", method, ArrayArgument{arguments});
}

jboolean JNICALL callStaticBooleanMethod(JNIEnv*, jclass, jmethodID method, ...) {
    return callStaticBoolean("CallStaticBooleanMethod", method);
}

jboolean JNICALL callStaticBooleanMethodV(JNIEnv*, jclass, jmethodID method, va_list) {
    return callStaticBoolean("CallStaticBooleanMethodV", method);
}

jboolean JNICALL callStaticBooleanMethodA(JNIEnv*, jclass, jmethodID method, const jvalue*) {
    return callStaticBoolean("CallStaticBooleanMethodA", method);
}

// The VM's functions.

jint JNICALL destroyJavaVM(JavaVM*) {
    call("DestroyJavaVM");
    return JNI_OK;
}

jint JNICALL getEnv(JavaVM*, void** env, jint) {
    call("GetEnv");
    *env = &environment;
    return JNI_OK;
}

// Every slot first gets the function that ends the process, then the functions the double offers.
template <typename Table>
void fillWithUnexpected(Table& table) {
    void** slots = reinterpret_cast<void**>(&table);
    for (size_t i = 0; i < sizeof table / sizeof(void*); ++i)
        slots[i] = reinterpret_cast<void*>(unexpectedCall);
}

void buildTables() {
    fillWithUnexpected(environmentTable);
    environmentTable.GetVersion = getVersion;
    environmentTable.FindClass = findClass;
    environmentTable.GetStaticMethodID = getStaticMethodID;
    environmentTable.GetMethodID = getMethodID;
    environmentTable.CallObjectMethod = callObjectMethod;
    environmentTable.CallObjectMethodV = callObjectMethodV;
    environmentTable.CallObjectMethodA = callObjectMethodA;
    environmentTable.GetStringLength = getStringLength;
    environmentTable.GetStringChars = getStringChars;
    environmentTable.ReleaseStringChars = releaseStringChars;
    environmentTable.Throw = throwObject;
    environmentTable.NewObjectArray = newObjectArray;
    environmentTable.NewString = newString;
    environmentTable.SetObjectArrayElement = setObjectArrayElement;
    environmentTable.DeleteLocalRef = deleteLocalRef;
    environmentTable.ExceptionOccurred = exceptionOccurred;
    environmentTable.ExceptionCheck = exceptionCheck;
    environmentTable.ExceptionDescribe = exceptionDescribe;
    environmentTable.ExceptionClear = exceptionClear;
    environmentTable.CallStaticVoidMethod = callStaticVoidMethod;
    environmentTable.CallStaticVoidMethodV = callStaticVoidMethodV;
    environmentTable.CallStaticVoidMethodA = callStaticVoidMethodA;
    environmentTable.CallStaticBooleanMethod = callStaticBooleanMethod;
    environmentTable.CallStaticBooleanMethodV = callStaticBooleanMethodV;
    environmentTable.CallStaticBooleanMethodA = callStaticBooleanMethodA;
    environment.functions = &environmentTable;

    fillWithUnexpected(vmTable);
    vmTable.DestroyJavaVM = destroyJavaVM;
    vmTable.GetEnv = getEnv;
    virtualMachine.functions = &vmTable;
}

void holdClassPath(std::string_view option) {
    std::string_view entries = option.substr(kClassPathOption.size());
    while (!entries.empty()) {
        size_t separator = entries.find(';');
        std::string entry(entries.substr(0, separator));
        entries = separator == std::string_view::npos ? std::string_view() : entries.substr(separator + 1);
        if (entry.empty())
            continue;
        // Never closed: the process end releases it, as with a VM's archives.
        CreateFileA(entry.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    }
}

std::string hex(unsigned value) {
    char text[16];
    snprintf(text, sizeof text, "0x%x", value);
    return text;
}

}  // namespace

Behaviour parseBehaviour(std::string_view text, Behaviour behaviour) {
    std::istringstream lines{std::string(text)};
    std::string line;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        std::istringstream words(line);
        std::string name;
        words >> name;
        if (name == "create_result") {
            words >> behaviour.createResult;
        } else if (name == "create_delay_ms") {
            words >> behaviour.createDelayMs;
        } else if (name == "missing_class") {
            std::string value;
            words >> value;
            behaviour.missingClasses.insert(value);
        } else if (name == "missing_method") {
            std::string value;
            words >> value;
            behaviour.missingMethods.insert(value);
        } else if (name == "main_throws") {
            behaviour.mainThrows = true;
        } else if (name == "first_run") {
            std::string value;
            words >> value;
            behaviour.firstRun = value == "false"    ? FirstRunAnswer::False
                                 : value == "throws" ? FirstRunAnswer::Throws
                                                     : FirstRunAnswer::True;
        } else if (name == "exit") {
            std::string value;
            words >> value;
            behaviour.exit = value == "returns"  ? ExitBehaviour::Returns
                             : value == "throws" ? ExitBehaviour::Throws
                                                 : ExitBehaviour::EndsProcess;
        } else if (name == "application_exit") {
            jint code = 0;
            words >> code;
            behaviour.applicationExitCode = code;
            words >> behaviour.applicationEndDelayMs;
        } else if (name == "application_abort") {
            behaviour.applicationAborts = true;
            words >> behaviour.applicationEndDelayMs;
        } else if (name == "redirect_stderr") {
            behaviour.redirectStandardError = true;
        } else if (name == "hold_class_path") {
            behaviour.holdClassPath = true;
        }
    }
    return behaviour;
}

void reset(const Behaviour& behaviour, const std::string& recordFile) {
    std::lock_guard<std::recursive_mutex> guard(stateLock);
    if (state.recordFile != INVALID_HANDLE_VALUE)
        CloseHandle(state.recordFile);
    if (state.standardErrorFile != INVALID_HANDLE_VALUE)
        CloseHandle(state.standardErrorFile);
    state = State{};
    state.behaviour = behaviour;
    if (!recordFile.empty()) {
        state.recordFile =
            CreateFileA(recordFile.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                        OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    buildTables();
}

const Record& record() {
    return state.record;
}

brolt::JavaVmEntryPoints entryPoints() {
    brolt::JavaVmEntryPoints points;
    points.createJavaVM = createJavaVM;
    return points;
}

jint JNICALL createJavaVM(JavaVM** vm, void** env, void* args) {
    std::lock_guard<std::recursive_mutex> guard(stateLock);
    const JavaVMInitArgs* initArgs = static_cast<const JavaVMInitArgs*>(args);
    state.record.version = initArgs->version;
    state.record.ignoreUnrecognized = initArgs->ignoreUnrecognized == JNI_TRUE;
    event("create version=" + hex(static_cast<unsigned>(initArgs->version)) + " ignoreUnrecognized=" +
          std::to_string(initArgs->ignoreUnrecognized) + " options=" + std::to_string(initArgs->nOptions));
    for (jint i = 0; i < initArgs->nOptions; ++i) {
        const JavaVMOption& option = initArgs->options[i];
        std::string text = option.optionString;
        state.record.options.push_back(text);
        state.record.optionExtraInfo.push_back(option.extraInfo);
        bool hook = option.extraInfo != nullptr && (text == "exit" || text == "abort" || text == "vfprintf");
        event("option " + std::to_string(i) + " " + text + (hook ? " hook" : ""));
        if (text == "vfprintf")
            state.printHook = reinterpret_cast<jint(JNICALL*)(FILE*, const char*, va_list)>(option.extraInfo);
        else if (text == "exit")
            state.exitHook = reinterpret_cast<void(JNICALL*)(jint)>(option.extraInfo);
        else if (text == "abort")
            state.abortHook = reinterpret_cast<void(JNICALL*)()>(option.extraInfo);
        else if (state.behaviour.holdClassPath && text.starts_with(kClassPathOption))
            holdClassPath(text);
    }
    Sleep(state.behaviour.createDelayMs);
    if (!state.behaviour.createPrints.empty())
        print("%s", state.behaviour.createPrints.c_str());
    if (state.behaviour.createAborts) {
        event("abort-hook");
        if (state.abortHook != nullptr)
            state.abortHook();
    }
    if (state.behaviour.createResult != JNI_OK) {
        event("create -> " + std::to_string(state.behaviour.createResult));
        // As a real VM leaves them: no handle to use by mistake.
        *vm = nullptr;
        *env = nullptr;
        return state.behaviour.createResult;
    }
    state.creatingThread = GetCurrentThreadId();
    state.created = true;
    *vm = &virtualMachine;
    *env = &environment;
    return JNI_OK;
}

void applicationExit(jint code) {
    event("application-exit " + std::to_string(code));
    runExitHook(code);
    if (state.behaviour.exit == ExitBehaviour::EndsProcess)
        endProcess(code);
}

}  // namespace vmdouble
