% Host test of ternShape: the transmit shaping filter.
[R, ~, varShapping] = tern_reference();
tern_check_entry('ternShape', 2);
D = varShapping.pulseDelay;
Ns = varShapping.oversamplingFactor;

%% result record, equal to the host-free core
s = ternShape(R.burst, varShapping);
tern_check_record(s, {'filter', 'out'});
assert(isequal(size(s.filter), [1 2 * D * Ns + 1]) && isreal(s.filter), 'filter is a 1-by-N real row');
tern_check_column(s.out, numel(R.burst) * Ns + 2 * D * Ns, true);
tern_same(s.filter, R.shape_filter, 'filter');
tern_same(s.out, R.shape_out, 'out');
assert(abs(sum(s.filter .^ 2) - 1) < 1e-12, 'unit-energy pulse');
% a symbol's pulse peaks at (k - 1) * Ns + D * Ns + 1 (direct check on one symbol)
impulse = zeros(40, 1); impulse(3) = 1;
si = ternShape(impulse, varShapping);
[~, peak] = max(abs(si.out));
assert(peak == 2 * Ns + D * Ns + 1);

%% no output still runs; a real input is a complex input with zero imaginary parts
clear ans;
ternShape(R.burst, varShapping);
tern_same(ans, s, 'ans');
tern_same(ternShape(real(R.burst), varShapping), ternShape(complex(real(R.burst), 0), varShapping), 'real input');

%% own check: the roll-off
for beta = [0 -0.5 NaN Inf]
  tern_expect_error(@() ternShape(R.burst, setfield(varShapping, 'rolloffFactor', beta)), '', ...
                    'ERRO! O fator de roll-off deve ser um numero finito maior que zero (varShapping.rolloffFactor).');
end

%% the entry layer's checks
tern_invalid(@() ternShape(R.burst.', varShapping), 'ShappingIn');
tern_invalid(@() ternShape([], varShapping), 'ShappingIn');
tern_invalid(@() ternShape(single(R.burst), varShapping), 'ShappingIn');
tern_invalid(@() ternShape(sparse(real(R.burst)), varShapping), 'ShappingIn');
tern_invalid(@() ternShape(logical(real(R.burst) > 0), varShapping), 'ShappingIn');
tern_invalid(@() ternShape(R.burst, setfield(varShapping, 'pulseDelay', [4 4])), 'varShapping.pulseDelay');
tern_invalid(@() ternShape(R.burst, setfield(varShapping, 'oversamplingFactor', 5 + 1i)), ...
             'varShapping.oversamplingFactor');
tern_invalid(@() ternShape(R.burst, rmfield(varShapping, 'rolloffFactor')), 'varShapping');
tern_invalid(@() ternShape(R.burst, [varShapping; varShapping]), 'varShapping');
% a '%' in a message is text, never a format
odd = varShapping; odd.('a%s%n%d') = 1;
tern_expect_error(@() ternShape(R.burst, odd), 'tern:invalidArgument', {'field ''a%s%n%d'' is not expected'});
% the input comes first: with both inputs wrong, the first is reported
tern_invalid(@() ternShape(R.burst.', 5), 'ShappingIn');
disp('test_ternShape: all checks passed');
