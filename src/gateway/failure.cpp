#include "gateway/failure.hpp"

namespace tern {

void raiseOwn(const std::string& text) { throw Failure(FailureKind::OwnCheck, "", text); }

void raiseRunTime(const std::string& identifier, const std::string& message) {
    throw Failure(FailureKind::RunTime, identifier, message);
}

}  // namespace tern
