#include "launch/split_rules.h"

#include <cwchar>

bool splitArguments(const wchar_t* text, std::vector<std::wstring>& list) {
    const wchar_t* p = text;
    while (*p != L'\0') {
        const wchar_t* doubleQuote = wcschr(p, L'"');
        const wchar_t* singleQuote = wcschr(p, L'\'');
        const wchar_t* blank = wcschr(p, L' ');
        if (blank == p) {  // a run of blanks is skipped one blank at a time
            ++p;
            continue;
        }
        bool blankFirst = blank != nullptr && (doubleQuote == nullptr || blank < doubleQuote) &&
                          (singleQuote == nullptr || blank < singleQuote);
        if (blankFirst) {
            list.emplace_back(p, blank);
            p = blank + 1;
            continue;
        }
        if (doubleQuote == nullptr && singleQuote == nullptr) {
            list.emplace_back(p);
            break;
        }
        const wchar_t* opening =
            doubleQuote != nullptr && (singleQuote == nullptr || doubleQuote < singleQuote) ? doubleQuote
                                                                                            : singleQuote;
        const wchar_t* closing = wcschr(opening + 1, *opening);
        if (closing == nullptr)
            return false;
        // Text in front of the quote joins the quoted text; the quotes themselves are dropped.
        std::wstring argument(p, opening);
        argument.append(opening + 1, closing);
        list.push_back(std::move(argument));
        p = closing + 1;
        if (*p == L' ')
            ++p;
    }
    return true;
}
