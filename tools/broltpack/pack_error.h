// The one error type of the packer: a problem with the place it was found, printed as
// "<file>:<line>:<col>: <problem>" (or "<file>: <problem>" when no line is known).
#pragma once

#include <stdexcept>
#include <string>

namespace brolt::pack {

struct Problem {
    std::string file;
    int line = 0;    // 1-based; 0 when the problem has no line
    int column = 0;  // 1-based; 0 when unknown
    std::string text;

    std::string describe() const {
        std::string out = file;
        if (line > 0) {
            out += ":" + std::to_string(line);
            if (column > 0)
                out += ":" + std::to_string(column);
        }
        return out + ": " + text;
    }
};

class PackError : public std::runtime_error {
  public:
    explicit PackError(Problem problem)
        : std::runtime_error(problem.describe()), problem_(std::move(problem)) {}
    const Problem& problem() const { return problem_; }

  private:
    Problem problem_;
};

}  // namespace brolt::pack
