% Host test of ternMatch: the matched filter.
[R, ~, varShapping] = tern_reference();
tern_check_entry('ternMatch', 2);
D = varShapping.pulseDelay;
Ns = varShapping.oversamplingFactor;

%% result record, equal to the host-free core
m = ternMatch(R.shape_out, varShapping);
tern_check_record(m, {'filter', 'filterDelay', 'out'});
assert(isequal(size(m.filter), [1 2 * D * Ns + 1]) && isreal(m.filter));
assert(isscalar(m.filterDelay) && m.filterDelay == D);
tern_check_column(m.out, numel(R.shape_out) + 2 * D * Ns, true);
tern_same(m.filter, R.match_filter, 'filter');
tern_same(m.filterDelay, R.match_filterDelay, 'filterDelay');
tern_same(m.out, R.match_out, 'out');
% shaping then matching: each symbol comes back at its pulse peak, scaled by the pulse energy 1
peaks = m.out(2 * D * Ns + 1 + (0:numel(R.burst) - 1) * Ns);
assert(max(abs(peaks - R.burst)) < 0.05, 'symbols at the pulse peaks');

%% no output still runs; a real input is accepted
clear ans;
ternMatch(R.shape_out, varShapping);
tern_same(ans, m, 'ans');
tern_same(ternMatch(real(R.shape_out), varShapping), ternMatch(complex(real(R.shape_out), 0), varShapping), ...
          'real input');

%% own check: the roll-off
tern_expect_error(@() ternMatch(R.shape_out, setfield(varShapping, 'rolloffFactor', 0)), '', ...
                  'ERRO! O fator de roll-off deve ser um numero finito maior que zero (varShapping.rolloffFactor).');

%% the entry layer's checks
tern_invalid(@() ternMatch(R.shape_out.', varShapping), 'MatchedFilterIn');
tern_invalid(@() ternMatch(zeros(0, 0), varShapping), 'MatchedFilterIn');
tern_invalid(@() ternMatch(int16(real(R.shape_out)), varShapping), 'MatchedFilterIn');
tern_invalid(@() ternMatch(R.shape_out, setfield(varShapping, 'rolloffFactor', [])), 'varShapping.rolloffFactor');
extra = varShapping; extra.more = 1; extra.pulseDelay = 'x';
tern_expect_error(@() ternMatch(R.shape_out, extra), 'tern:invalidArgument', {'''varShapping''', '''more'' is not expected'});
disp('test_ternMatch: all checks passed');
