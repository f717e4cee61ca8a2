// Test-only module: props = ternProbeProperties(modulePath) loads the module
// file at modulePath as a shared library, calls its exported
// emlrtMexFcnProperties and returns the properties record.
#include <dlfcn.h>

#include "mex.h"

void mexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
    (void)nlhs;
    if (nrhs != 1 || !mxIsChar(prhs[0])) mexErrMsgIdAndTxt("tern:test:usage", "usage: ternProbeProperties(modulePath)");
    char* path = mxArrayToString(prhs[0]);
    void* module = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    mxFree(path);
    if (module == nullptr) mexErrMsgIdAndTxt("tern:test:dlopen", "cannot load the module");
    using Properties = mxArray* (*)();
    auto properties = reinterpret_cast<Properties>(dlsym(module, "emlrtMexFcnProperties"));
    mxArray* record = properties != nullptr ? properties() : nullptr;
    dlclose(module);
    if (record == nullptr) mexErrMsgIdAndTxt("tern:test:symbol", "the module exports no emlrtMexFcnProperties");
    plhs[0] = record;
}
