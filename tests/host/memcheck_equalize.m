% The channel-correcting receiver's modules in one session under the memory
% checker: the soft decoder's and interleaver's host test, then every other
% module on the reference values, results and refusals (own checks and the
% entry layer's, the nested records among them), without the faded bursts.
test_ternSiso;
test_ternInterleave;
[R, milstd, varShapping] = tern_reference();
e = ternEstimate(R.timing_out, milstd, varShapping);
tern_same(e.gains, R.estimate_gains, 'gains');
tern_same(ternEqualize(R.timing_out, milstd, varShapping, e, R.equalize_prior).LLROut, R.equalizeprior_LLROut, 'LLROut');
r = ternReceive(R.receive_in, milstd, varShapping, struct('equalizer', 'turbo', 'passes', 1, 'doppler', 0, 'tracking', 1));
assert(isequal(r.DecodOut, R.receive_payload(1:numel(r.DecodOut))));
tern_expect_error(@() ternEqualize(R.timing_out, milstd, varShapping, e, R.equalize_prior(2:end)), '', {'ERRO! LLRPrior'});
tern_invalid(@() ternEqualize(R.timing_out, milstd, varShapping, setfield(e, 'gains', cat(3, e.gains, e.gains)), []), ...
             'estimate.gains');
tern_invalid(@() ternReceive(R.receive_in, milstd, varShapping, struct('equalizer', 'turbo')), 'varReceiver');
tern_expect_error(@() ternReceive(R.receive_in, milstd, varShapping, ...
                                  struct('equalizer', 'x', 'passes', 1, 'doppler', 0, 'tracking', 1)), '', ...
                  {'ERRO! Equalizador desconhecido'});
disp('memcheck_equalize: all checks passed');
