#include "vm_start.h"

namespace vmstart {

namespace {

std::string narrow(const wchar_t* text) {
    int bytes = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(bytes > 0 ? bytes : 1), '\0');
    WideCharToMultiByte(CP_ACP, 0, text, -1, out.data(), bytes, nullptr, nullptr);
    out.resize(bytes > 0 ? static_cast<size_t>(bytes - 1) : 0);
    return out;
}

}  // namespace

JavaTarget javaTarget(const LPWSTR* argv) {
    JavaTarget target{narrow(argv[1]), "-Djava.class.path=" + narrow(argv[2]), narrow(argv[3])};
    for (char& c : target.mainClass)
        c = c == '.' ? '/' : c;
    return target;
}

CreateJavaVm loadVmLibrary(const std::string& path) {
    // Never freed: the VM lives until the process ends.
    HMODULE library = LoadLibraryA(path.c_str());
    return library != nullptr ? reinterpret_cast<CreateJavaVm>(GetProcAddress(library, "JNI_CreateJavaVM"))
                              : nullptr;
}

CreatedVm createVm(CreateJavaVm create, const std::vector<std::string>& options, Hooks hooks) {
    std::vector<JavaVMOption> vmOptions;
    vmOptions.reserve(options.size() + 2);
    for (const std::string& option : options)
        vmOptions.push_back({const_cast<char*>(option.c_str()), nullptr});
    if (hooks.exit != nullptr)
        vmOptions.push_back({const_cast<char*>("exit"), reinterpret_cast<void*>(hooks.exit)});
    if (hooks.abort != nullptr)
        vmOptions.push_back({const_cast<char*>("abort"), reinterpret_cast<void*>(hooks.abort)});
    JavaVMInitArgs args{};
    args.version = JNI_VERSION_1_2;
    args.nOptions = static_cast<jint>(vmOptions.size());
    args.options = vmOptions.data();
    args.ignoreUnrecognized = JNI_TRUE;
    CreatedVm created;
    created.result = create(&created.vm, reinterpret_cast<void**>(&created.env), &args);
    if (created.result != JNI_OK)
        created.env = nullptr;
    return created;
}

MainMethod findMain(JNIEnv* env, const std::string& mainClass) {
    MainMethod method;
    method.type = env->FindClass(mainClass.c_str());
    if (method.type != nullptr)
        method.main = env->GetStaticMethodID(method.type, "main", "([Ljava/lang/String;)V");
    return method;
}

bool callMain(JNIEnv* env, const MainMethod& method, const std::vector<std::wstring>& arguments) {
    jobjectArray parameters = env->NewObjectArray(static_cast<jsize>(arguments.size()),
                                                  env->FindClass("java/lang/String"), nullptr);
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::wstring& text = arguments[i];
        jstring value =
            env->NewString(reinterpret_cast<const jchar*>(text.c_str()), static_cast<jsize>(text.size()));
        env->SetObjectArrayElement(parameters, static_cast<jsize>(i), value);
    }
    env->CallStaticVoidMethod(method.type, method.main, parameters);
    return env->ExceptionOccurred() == nullptr;
}

void callJavaExit(JNIEnv* env, jint code) {
    jclass shutdown = env->FindClass("java/lang/Shutdown");
    jmethodID exit = shutdown ? env->GetStaticMethodID(shutdown, "exit", "(I)V") : nullptr;
    if (exit == nullptr) {
        env->ExceptionClear();
        shutdown = env->FindClass("java/lang/System");
        exit = shutdown ? env->GetStaticMethodID(shutdown, "exit", "(I)V") : nullptr;
    }
    // Through the table's variadic entry, which the C++ helpers never use (they call the va_list form).
    if (exit != nullptr)
        env->functions->CallStaticVoidMethod(env, shutdown, exit, code);
}

}  // namespace vmstart
