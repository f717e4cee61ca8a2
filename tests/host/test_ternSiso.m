% Host test of ternSiso: the soft-in soft-out decoder of the turbo passes.
[R, milstd] = tern_reference();
tern_check_entry('ternSiso', 2);

%% the record, equal to the host-free core's
s = ternSiso(R.decode_in, milstd);
tern_check_record(s, {'DecodOut', 'InfoLLR', 'ExtrinsicLLR'});
tern_same(s.DecodOut, R.siso_DecodOut, 'DecodOut');
tern_same(s.InfoLLR, R.siso_InfoLLR, 'InfoLLR');
tern_same(s.ExtrinsicLLR, R.siso_ExtrinsicLLR, 'ExtrinsicLLR');
tern_check_column(s.ExtrinsicLLR, numel(R.decode_in), false);

%% cross-checks: the Viterbi decoder's decisions and the signs of the ratios
assert(isequal(s.DecodOut, R.decode_DecodOut), 'decisions differ from ternDecode''s');
assert(isequal(s.InfoLLR < 0, s.DecodOut == 1), 'signs of InfoLLR against the decisions');

%% own checks (ternDecode's) and the entry layer's
tern_invalid(@() ternSiso(R.decode_in.', milstd), 'SisoIn');
tern_invalid(@() ternSiso(R.decode_in, setfield(milstd, 'interLength', 'a')), 'milstd.interLength');
disp('test_ternSiso: all checks passed');
