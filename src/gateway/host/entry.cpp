#include "gateway/host/entry.hpp"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <new>
#include <string>

#include "gateway/failure.hpp"
#include "gateway/host/host_call.hpp"
#include "gateway/host/interrupt_host.hpp"

namespace tern::host {

namespace {

// A failure waiting to be raised in the host, in plain storage that outlives
// every C++ object of the call.
struct PendingFailure {
    FailureKind kind = FailureKind::RunTime;
    char identifier[256] = {};
    char message[8192] = {};
};

PendingFailure g_pending;
// Anything that is not a C++ standard exception is carried out of the call
// unchanged and rethrown afterwards, like the host's own exceptions thrown
// through a call back (its interrupt, host_call.hpp).
std::exception_ptr g_foreign;

// Copies text into a fixed buffer, cutting it (if it must) before a whole
// UTF-8 character rather than inside one.
void copyText(char* target, std::size_t capacity, const std::string& text) {
    std::size_t n = text.size() < capacity - 1 ? text.size() : capacity - 1;
    if (n < text.size())
        while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
    std::memcpy(target, text.data(), n);
    target[n] = '\0';
}

// Host message identifiers are colon-separated components of letters,
// digits, '_' and '-', each starting with a letter.
bool isMessageIdentifier(const std::string& text) {
    std::size_t components = 0;
    std::size_t i = 0;
    while (i <= text.size()) {
        const std::size_t end = text.find(':', i) == std::string::npos ? text.size() : text.find(':', i);
        if (end == i || !std::isalpha(static_cast<unsigned char>(text[i]))) return false;
        for (std::size_t k = i; k < end; ++k) {
            const unsigned char c = static_cast<unsigned char>(text[k]);
            if (!std::isalnum(c) && c != '_' && c != '-') return false;
        }
        ++components;
        i = end + 1;
    }
    return components >= 2;
}

void keep(FailureKind kind, const std::string& identifier, const std::string& message) {
    g_pending.kind = kind;
    std::string id = kind == FailureKind::OwnCheck ? std::string() : identifier;
    std::string text = message.empty() ? identifier : message;
    // An identifier that the host cannot carry as one (such as the text
    // "Assertion failed.") leads the message instead.
    if (!id.empty() && !isMessageIdentifier(id)) {
        if (text.compare(0, id.size(), id) != 0) text = id + " " + text;
        id.clear();
    }
    if (text.empty()) text = "Unknown failure.";
    copyText(g_pending.identifier, sizeof g_pending.identifier, id);
    copyText(g_pending.message, sizeof g_pending.message, text);
}

// Steps 5 to 8 with every C++ object of the call inside; false on failure.
bool guardedCall(const EntryHooks& hooks, const mxArray* prhs[], mxArray*& result) {
    try {
        hooks.initialize();
        struct Leave {
            void (*terminate)();
            ~Leave() { terminate(); }
        } leave{hooks.terminate};
        const InterruptScope interrupts;
        result = hooks.api(prhs);
        return true;
    } catch (const Failure& failure) {
        keep(failure.kind(), failure.identifier(), failure.message());
    } catch (const std::bad_alloc&) {
        keep(FailureKind::RunTime, id::OutOfMemory, "Out of memory.");
    } catch (const std::exception& other) {
        keep(FailureKind::RunTime, "tern:internalError", other.what());
    } catch (...) {
        g_foreign = std::current_exception();
    }
    return false;
}

// Raises the pending failure through the host's error function, given a
// record (message, identifier) so that no text is read as a format.
[[noreturn]] void raisePending() {
    const char* names[2] = {"message", "identifier"};
    mxArray* report = mxCreateStructMatrix(1, 1, 2, names);
    mxArray* message = mxCreateString(g_pending.message);
    mxArray* identifier = mxCreateString(g_pending.identifier);
    if (report != nullptr && message != nullptr && identifier != nullptr) {
        mxSetField(report, 0, "message", message);
        mxSetField(report, 0, "identifier", identifier);
        mxArray* none[1] = {nullptr};
        mxArray* argument[1] = {report};
        mexCallMATLAB(0, none, 1, argument, "error");  // does not return
    }
    if (g_pending.identifier[0] != '\0') mexErrMsgIdAndTxt(g_pending.identifier, "%s", g_pending.message);
    mexErrMsgTxt(g_pending.message);
    std::abort();  // unreachable: the host never returns from an error
}

[[noreturn]] void raiseArgumentCount(const char* identifier, const char* message) {
    g_pending.kind = FailureKind::ArgumentCount;
    std::snprintf(g_pending.identifier, sizeof g_pending.identifier, "%s", identifier);
    std::snprintf(g_pending.message, sizeof g_pending.message, "%s", message);
    raisePending();
}

}  // namespace

void enterContext(ModuleState& state) {
    if (!state.contextUsed) {
        state.contextUsed = true;
        if (state.persistent != nullptr) *state.persistent = 0;
    }
    state.inContext = true;
}

void leaveContext(ModuleState& state) { state.inContext = false; }

void releaseModule(ModuleState& state) {
    enterContext(state);
    leaveContext(state);
    if (state.persistent != nullptr) mxFree(state.persistent);
    state.persistent = nullptr;
    state.contextUsed = false;
}

void runEntry(const EntryInfo& entry, ModuleState& state, const EntryHooks& hooks, int nlhs, mxArray* plhs[], int nrhs,
              const mxArray* prhs[]) {
    if (entry.persistence == Persistence::OneByte && state.persistent == nullptr) {
        void* byte = mxCalloc(1, 1);
        if (byte != nullptr) {
            mexMakeMemoryPersistent(byte);
            state.persistent = static_cast<unsigned char*>(byte);
        }
    }
    mexAtExit(hooks.atexit);
    // (The run-time context keeps no allocation count to clear.)

    char text[256];
    if (nrhs != entry.inputCount) {
        std::snprintf(text, sizeof text, "%d input%s required for entry-point '%s'.", entry.inputCount,
                      entry.inputCount == 1 ? "" : "s", entry.name);
        raiseArgumentCount(id::WrongNumberOfInputs, text);
    }
    if (nlhs > 1) {
        std::snprintf(text, sizeof text, "Too many output arguments for entry-point '%s'.", entry.name);
        raiseArgumentCount(id::TooManyOutputs, text);
    }

    mxArray* result = nullptr;
    const bool done = guardedCall(hooks, prhs, result);
    // The host threw through a call back (the user pressed Ctrl-C): our call
    // is over and cleaned up; the host gets its own exception back. (A
    // result made all the same is the host's array and the host frees it.)
    if (std::exception_ptr host = takeHostException()) {
        g_foreign = nullptr;
        if (done && result != nullptr) mxDestroyArray(result);
        std::rethrow_exception(host);
    }
    if (!done) {
        if (g_foreign) {
            std::exception_ptr foreign = std::exchange(g_foreign, nullptr);
            std::rethrow_exception(foreign);
        }
        raisePending();
    }
    // The host always provides the first slot, also when no output is asked for.
    plhs[0] = result;
}

mxArray* properties(const char* name, int inputCount) {
    const char* entryFields[4] = {"Name", "NumberOfInputs", "NumberOfOutputs", "ConstantInputs"};
    mxArray* entry = mxCreateStructMatrix(1, 1, 4, entryFields);
    mxSetField(entry, 0, "Name", mxCreateString(name));
    mxSetField(entry, 0, "NumberOfInputs", mxCreateDoubleScalar(inputCount));
    mxSetField(entry, 0, "NumberOfOutputs", mxCreateDoubleScalar(1));
    mxSetField(entry, 0, "ConstantInputs", mxCreateLogicalMatrix(1, static_cast<mwSize>(inputCount)));

    const char* fields[2] = {"Version", "EntryPoints"};
    mxArray* record = mxCreateStructMatrix(1, 1, 2, fields);
    mxSetField(record, 0, "Version", mxCreateString("7.14.0.739 (R2012a)"));
    mxSetField(record, 0, "EntryPoints", entry);
    return record;
}

}  // namespace tern::host
