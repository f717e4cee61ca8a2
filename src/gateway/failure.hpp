// Failure reporting. Every failure of the chain is one exception type that
// carries its kind, its identifier (empty for the system's own "ERRO!"
// checks) and its message. The core throws; nothing is returned after it.
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>

namespace tern {

enum class FailureKind {
    OwnCheck,       // the stage's own validation: message text only, starts with "ERRO!"
    RunTime,        // a numeric-layer check: identifier plus a message in our words
    ArgumentCount,  // the entry layer's argument-count checks
};

class Failure : public std::runtime_error {
public:
    Failure(FailureKind kind, std::string identifier, const std::string& message)
        : std::runtime_error(message), kind_(kind), identifier_(std::move(identifier)) {}

    FailureKind kind() const noexcept { return kind_; }
    const std::string& identifier() const noexcept { return identifier_; }
    std::string message() const { return what(); }

private:
    FailureKind kind_;
    std::string identifier_;
};

// Own check: the exact "ERRO!" text, no identifier.
[[noreturn]] void raiseOwn(const std::string& text);
// Run-time check of the numeric layer: identifier and an explanatory message.
[[noreturn]] void raiseRunTime(const std::string& identifier, const std::string& message);

// Identifiers of the numeric layer's run-time checks.
namespace id {
inline constexpr const char* ForLoopOverflow = "Coder:toolbox:int_forloop_overflow";
inline constexpr const char* PMaxSize = "Coder:MATLAB:pmaxsize";
inline constexpr const char* InvalidSizeVector = "Coder:toolbox:eml_assert_valid_size_arg_invalidSizeVector";
inline constexpr const char* NonIntegerInput = "Coder:MATLAB:NonIntegerInput";
inline constexpr const char* ReshapeNotSameNumel = "Coder:MATLAB:getReshapeDims_notSameNumel";
inline constexpr const char* ReshapeEmptyLimit = "Coder:toolbox:reshape_emptyReshapeLimit";
inline constexpr const char* InnerDim = "Coder:MATLAB:innerdim";
inline constexpr const char* MtimesNoDynamicScalar = "Coder:toolbox:mtimes_noDynamicScalarExpansion";
inline constexpr const char* BsxfunDynamicExpansion = "Coder:toolbox:bsxfun_dynamicExpansion";
inline constexpr const char* BsxfunDimsMustMatch = "Coder:MATLAB:bsxfun_arrayDimensionsMustMatch";
inline constexpr const char* AndOrXorSizeMismatch = "Coder:MATLAB:andOrXor_sizeMismatch";
inline constexpr const char* AutoDimIncompatibility = "Coder:toolbox:autoDimIncompatibility";
inline constexpr const char* AllAnyAutoDim = "Coder:toolbox:eml_all_or_any_autoDimIncompatibility";
inline constexpr const char* MinMaxVarDimZero = "Coder:toolbox:eml_min_or_max_varDimZero";
inline constexpr const char* AllAnySpecialEmpty = "Coder:toolbox:eml_all_or_any_specialEmpty";
inline constexpr const char* SumSpecialEmpty = "Coder:toolbox:sum_specialEmpty";
inline constexpr const char* SqrtDomain = "Coder:toolbox:sqrt_domainError";
inline constexpr const char* Log10Domain = "Coder:toolbox:log10_domainError";
inline constexpr const char* PowerDomain = "Coder:toolbox:power_domainError";
inline constexpr const char* FilterNotVectorB = "Coder:toolbox:filter_notVectorInputB";
inline constexpr const char* ConvOrientation = "Coder:toolbox:conv_dynamicVectorOrientation";
inline constexpr const char* Dec2binNonNegative = "MATLAB:dec2bin:MustBeNonNegativeFinite";
inline constexpr const char* AssertionFailed = "Assertion failed.";
// The host's own checks (bounds, sizes, memory, interrupt, argument class).
inline constexpr const char* IndexOutOfBounds = "Coder:builtins:IndexOutOfBounds";
inline constexpr const char* DimensionMismatch = "Coder:MATLAB:subsassigndimmismatch";
inline constexpr const char* OutOfMemory = "MATLAB:nomem";
inline constexpr const char* Interrupted = "tern:interrupted";
inline constexpr const char* WrongNumberOfInputs = "emlcoder:emlmex:WrongNumberOfInputs";
inline constexpr const char* TooManyOutputs = "emlcoder:emlmex:TooManyOutputArguments";
inline constexpr const char* InvalidArgument = "tern:invalidArgument";
}  // namespace id

}  // namespace tern
