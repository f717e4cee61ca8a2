% Host test of ternEqualize: LMMSE equalisation of the data frames over a
% channel estimate, with and without priors.
[R, milstd, varShapping] = tern_reference();
tern_check_entry('ternEqualize', 5);
e = ternEstimate(R.timing_out, milstd, varShapping);
n = milstd.bitsToSym;
symbols = numel(R.split_out);

%% the record, equal to the host-free core's; [] stands for no priors
q = ternEqualize(R.timing_out, milstd, varShapping, e, []);
tern_check_record(q, {'LLROut', 'symbols', 'noise'});
tern_check_column(q.LLROut, symbols * n, false);
tern_check_column(q.symbols, symbols, true);
tern_check_column(q.noise, symbols, false);
tern_same(q.LLROut, R.equalize_LLROut, 'LLROut');
tern_same(q.symbols, R.equalize_symbols, 'symbols');
tern_same(q.noise, R.equalize_noise, 'noise');
tern_same(ternEqualize(R.timing_out, milstd, varShapping, e, R.equalize_prior), ...
          struct('LLROut', R.equalizeprior_LLROut, 'symbols', R.equalizeprior_symbols, 'noise', R.equalizeprior_noise), ...
          'with priors');
% without a channel the estimates are the descrambled symbols
z = R.split_out .* repmat(exp(-1i * pi * milstd.scrambler / 4), symbols / milstd.dataLength, 1);
assert(max(abs(q.symbols - z)) < 0.05, 'symbols without a channel: largest error %g', max(abs(q.symbols - z)));

%% through "ruim" at 20 dB the equaliser's decisions are nearly all right
[timing, ms, vs, send] = tern_faded_burst('ruim', 20, 4, 5);
q = ternEqualize(timing, ms, vs, ternEstimate(timing, ms, vs), []);
bits = ternUnweave(q.LLROut, ms).out;
coded = send.CodOutInterIn(1:numel(bits));
assert(mean((bits < 0) ~= coded) < 0.02, 'coded bit error rate %g', mean((bits < 0) ~= coded));

%% own checks: priors of the wrong length, an estimate that does not fit
tern_expect_error(@() ternEqualize(R.timing_out, milstd, varShapping, e, R.equalize_prior(2:end)), '', ...
                  {'ERRO! LLRPrior deve ter '});
tern_expect_error(@() ternEqualize(R.timing_out, milstd, varShapping, setfield(e, 'N0', 0), []), '', ...
                  'ERRO! A variância do ruído da estimativa deve ser positiva e finita (estimate.N0).');
tern_expect_error(@() ternEqualize(R.timing_out, milstd, varShapping, setfield(e, 'gains', e.gains(2:end, :)), []), '', ...
                  {'ERRO! A estimativa do canal deve ter um atraso por percurso e uma linha de ganhos por símbolo de SymbolsIn'});

%% the entry layer's checks, the estimate's matrix field among them
tern_invalid(@() ternEqualize(R.timing_out, milstd, varShapping, rmfield(e, 'doppler'), []), 'estimate');
tern_invalid(@() ternEqualize(R.timing_out, milstd, varShapping, setfield(e, 'gains', single(e.gains)), []), 'estimate.gains');
tern_invalid(@() ternEqualize(R.timing_out, milstd, varShapping, setfield(e, 'gains', cat(3, e.gains, e.gains)), []), ...
             'estimate.gains');
tern_invalid(@() ternEqualize(R.timing_out, milstd, varShapping, setfield(e, 'delays', repmat(e.delays.', 1, 2)), []), 'estimate.delays');
tern_invalid(@() ternEqualize(R.timing_out, milstd, varShapping, e, zeros(1, 0)), 'LLRPrior');
tern_invalid(@() ternEqualize(R.timing_out, milstd, varShapping, e, R.equalize_prior.'), 'LLRPrior');
tern_invalid(@() ternEqualize(R.timing_out, milstd, varShapping, e, single([])), 'LLRPrior');
disp('test_ternEqualize: all checks passed');
