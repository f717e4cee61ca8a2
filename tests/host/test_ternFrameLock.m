% Host test of ternFrameLock: the preamble search.
[R, milstd, varShapping] = tern_reference();
tern_check_entry('ternFrameLock', 3);
Ns = varShapping.oversamplingFactor;

%% a bare column result, equal to the host-free core
k = ternFrameLock(R.match_out, milstd, varShapping);
assert(isa(k, 'double') && isreal(k) && isequal(size(k), [1 1]), 'a 1-by-1 column');
tern_same(k, R.framelock, 'frame start');
assert(k == 2 * varShapping.pulseDelay * Ns + 1);
% a delayed signal moves the start by the delay
delayed = [zeros(7, 1); R.match_out];
assert(ternFrameLock(delayed, milstd, varShapping) == k + 7);

%% no coefficient is a number: an empty 0-by-1 column
none = ternFrameLock(zeros(1100 * Ns, 1), milstd, varShapping);
assert(isa(none, 'double') && isequal(size(none), [0 1]), 'empty result is 0-by-1');

%% no output still runs
clear ans;
ternFrameLock(R.match_out, milstd, varShapping);
tern_same(ans, k, 'ans');

%% the entry layer's checks
tern_invalid(@() ternFrameLock(R.match_out.', milstd, varShapping), 'SincroFrameIn');
tern_invalid(@() ternFrameLock(R.match_out, setfield(milstd, 'preambleFrame', single(milstd.preambleFrame)), ...
                               varShapping), 'milstd.preambleFrame');
% every field of milstd is checked, also those the search does not read
tern_invalid(@() ternFrameLock(R.match_out, setfield(milstd, 'interTable', milstd.interTable'), varShapping), ...
             'milstd.interTable');
tern_invalid(@() ternFrameLock(R.match_out, milstd, setfield(varShapping, 'pulseDelay', {})), 'varShapping.pulseDelay');
tern_invalid(@() ternFrameLock(R.match_out, rmfield(milstd, 'symbolRate'), varShapping), 'milstd');
disp('test_ternFrameLock: all checks passed');
