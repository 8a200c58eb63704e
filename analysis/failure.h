#pragma once
// A failure raised by a computation or drawing step and handed up to the
// event handler that started it; the handler decides which message to show.
#include <stdexcept>

namespace quillet {

class Failure : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

} // namespace quillet
