% Host test of ternTiming: one sample per symbol from the frame start.
[R, ~, varShapping] = tern_reference();
tern_check_entry('ternTiming', 3);
D = varShapping.pulseDelay;
Ns = varShapping.oversamplingFactor;

%% result record, equal to the host-free core
t = ternTiming(R.match_out, R.framelock, varShapping);
tern_check_record(t, {'out'});
Lx = numel(R.match_out);
tern_check_column(t.out, floor((Lx - 4 * D * Ns - 1) / Ns) + 1, true);
tern_same(t.out, R.timing_out, 'out');
% direct check: samples k, k + Ns, k + 2 Ns, ...
tern_same(t.out, R.match_out(R.framelock + (0:numel(t.out) - 1)' * Ns), 'samples from the frame start');

%% no output still runs; a real input is accepted
clear ans;
ternTiming(R.match_out, R.framelock, varShapping);
tern_same(ans, t, 'ans');
real_t = ternTiming(real(R.match_out), R.framelock, varShapping);
tern_same(real_t.out, real(t.out), 'real input');

%% the entry layer's checks
tern_invalid(@() ternTiming(R.match_out, zeros(0, 1), varShapping), 'FrameStartSample');
tern_invalid(@() ternTiming(R.match_out, [41 42], varShapping), 'FrameStartSample');
tern_invalid(@() ternTiming(R.match_out, 41 + 1i, varShapping), 'FrameStartSample');
tern_invalid(@() ternTiming(R.match_out, uint8(41), varShapping), 'FrameStartSample');
tern_invalid(@() ternTiming(R.match_out.', 41, varShapping), 'SyncSymbolIn');
% rolloffFactor is not used, but checked
tern_invalid(@() ternTiming(R.match_out, 41, setfield(varShapping, 'rolloffFactor', 'a')), 'varShapping.rolloffFactor');
disp('test_ternTiming: all checks passed');
