#include "core/terminate_report.h"

#include <cxxabi.h>

#include <exception>
#include <functional>
#include <new>
#include <optional>
#include <stdexcept>
#include <system_error>
#include <variant>

namespace brolt {
namespace {

struct ReadableName {
    const std::type_info& type;
    const char* name;
};

// Every exception type the standard library parts the launcher uses can throw, with its base classes.
const ReadableName kStandardExceptions[] = {
    {typeid(std::exception), "std::exception"},
    {typeid(std::bad_exception), "std::bad_exception"},
    {typeid(std::bad_alloc), "std::bad_alloc"},
    {typeid(std::bad_array_new_length), "std::bad_array_new_length"},
    {typeid(std::bad_cast), "std::bad_cast"},
    {typeid(std::bad_typeid), "std::bad_typeid"},
    {typeid(std::bad_function_call), "std::bad_function_call"},
    {typeid(std::bad_optional_access), "std::bad_optional_access"},
    {typeid(std::bad_variant_access), "std::bad_variant_access"},
    {typeid(std::logic_error), "std::logic_error"},
    {typeid(std::domain_error), "std::domain_error"},
    {typeid(std::invalid_argument), "std::invalid_argument"},
    {typeid(std::length_error), "std::length_error"},
    {typeid(std::out_of_range), "std::out_of_range"},
    {typeid(std::runtime_error), "std::runtime_error"},
    {typeid(std::range_error), "std::range_error"},
    {typeid(std::overflow_error), "std::overflow_error"},
    {typeid(std::underflow_error), "std::underflow_error"},
    {typeid(std::system_error), "std::system_error"},
};

}  // namespace

const char* readableTypeName(const std::type_info& type) {
    for (const auto& known : kStandardExceptions) {
        if (known.type == type)
            return known.name;
    }
    return type.name();
}

void writeTerminateReport(std::FILE* out) {
    // Lines, order and wording are those of the standard library's report.
    const std::type_info* type = abi::__cxa_current_exception_type();
    if (type == nullptr) {
        std::fputs("terminate called without an active exception\n", out);
        return;
    }
    std::fputs("terminate called after throwing an instance of '", out);
    std::fputs(readableTypeName(*type), out);
    std::fputs("'\n", out);
    // Only a rethrow tells whether the exception is a std::exception, and so has a what().
    try {
        throw;
    } catch (const std::exception& exception) {
        std::fputs("  what():  ", out);
        std::fputs(exception.what(), out);
        std::fputs("\n", out);
    } catch (...) {
    }
}

}  // namespace brolt
