% Host test of ternSiso and ternInterleave: the soft-in soft-out decoder and
% the interleaver of soft values of the turbo passes.
[R, milstd] = tern_reference();
tern_check_entry('ternSiso', 2);
tern_check_entry('ternInterleave', 2);

%% the records, equal to the host-free cores'
s = ternSiso(R.decode_in, milstd);
tern_check_record(s, {'DecodOut', 'InfoLLR', 'ExtrinsicLLR'});
tern_same(s.DecodOut, R.siso_DecodOut, 'DecodOut');
tern_same(s.InfoLLR, R.siso_InfoLLR, 'InfoLLR');
tern_same(s.ExtrinsicLLR, R.siso_ExtrinsicLLR, 'ExtrinsicLLR');
tern_check_column(s.ExtrinsicLLR, numel(R.decode_in), false);
w = ternInterleave(R.unweave_in, milstd);
tern_check_record(w, {'out'});
tern_same(w.out, R.interleave_out, 'interleaved');

%% cross-checks: the Viterbi decoder's decisions, the deinterleaver undoes the interleaver
assert(isequal(s.DecodOut, R.decode_DecodOut), 'decisions differ from ternDecode''s');
assert(isequal(s.InfoLLR < 0, s.DecodOut == 1), 'signs of InfoLLR against the decisions');
tern_same(ternUnweave(w.out, milstd).out, R.unweave_in, 'ternUnweave(ternInterleave(x))');

%% own checks (ternDecode's and ternUnweave's) and the entry layer's
tern_expect_error(@() ternInterleave(R.unweave_in, setfield(milstd, 'codeRate', 1)), '', ...
                  'ERRO! Esta configuracao da forma de onda nao utiliza interleaving.');
tern_invalid(@() ternSiso(R.decode_in.', milstd), 'SisoIn');
tern_invalid(@() ternInterleave(complex(R.unweave_in, 1), milstd), 'InterleaverIn');
tern_invalid(@() ternSiso(R.decode_in, setfield(milstd, 'interLength', 'a')), 'milstd.interLength');
disp('test_ternSiso: all checks passed');
