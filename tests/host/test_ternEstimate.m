% Host test of ternEstimate: the channel of a burst from its known symbols.
[R, milstd, varShapping] = tern_reference();
tern_check_entry('ternEstimate', 3);
fields = {'delays', 'gains', 'gainError', 'N0', 'doppler'};

%% the record, equal to the host-free core's
e = ternEstimate(R.timing_out, milstd, varShapping);
tern_check_record(e, fields);
paths = numel(e.delays);
tern_check_column(e.delays, paths, false);
assert(isequal(size(e.gains), [numel(R.timing_out), paths]), 'gains: %s', mat2str(size(e.gains)));
tern_check_column(e.gainError, numel(R.timing_out), false);
for k = 1:numel(fields)
  tern_same(e.(fields{k}), R.(['estimate_' fields{k}]), fields{k});
end

%% through "ruim": two paths about 2 ms (38.4 symbols) apart, N0 near the channel's
[timing, ms, vs, ~, N0] = tern_faded_burst('ruim', 20, 4, 3);
e = ternEstimate(timing, ms, vs);
assert(numel(e.delays) >= 2 && abs(e.delays(end) - e.delays(1) - 38.4) < 1.5, 'delays %s', mat2str(e.delays', 4));
assert(e.N0 > N0 / 2 && e.N0 < 2 * N0, 'N0 %g, channel %g', e.N0, N0);
assert(all(isfinite(e.gains(:))) && e.doppler >= 0);

%% own checks: too short a column, samples that are not finite
short = R.timing_out(1:milstd.preambleLength + milstd.probeLength - 1);
tern_expect_error(@() ternEstimate(short, milstd, varShapping), '', ...
                  {'ERRO! SymbolsIn tem ', 'menos que o preâmbulo e a primeira sonda'});
y = R.timing_out;
y(7) = NaN;
tern_expect_error(@() ternEstimate(y, milstd, varShapping), '', ...
                  'ERRO! SymbolsIn contém uma amostra que não é um número finito (símbolo 7).');

%% the entry layer's checks
tern_invalid(@() ternEstimate(R.timing_out.', milstd, varShapping), 'SymbolsIn');
tern_invalid(@() ternEstimate(R.timing_out, rmfield(milstd, 'probeFrame'), varShapping), 'milstd');
tern_invalid(@() ternEstimate(R.timing_out, milstd, setfield(varShapping, 'pulseDelay', '6')), 'varShapping.pulseDelay');
disp('test_ternEstimate: all checks passed');
