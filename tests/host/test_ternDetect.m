% Host test of ternDetect: descrambling, decisions and demapping into bits.
[R, milstd] = tern_reference();
tern_check_entry('ternDetect', 2);

%% result record, equal to the host-free core
d = ternDetect(R.split_out, milstd);
tern_check_record(d, {'DemodOutDemapIn', 'DemapOut'});
tern_check_column(d.DemodOutDemapIn, numel(R.split_out), false);
tern_check_column(d.DemapOut, numel(R.split_out) * milstd.bitsToSym, false);
tern_same(d.DemodOutDemapIn, R.detect_DemodOutDemapIn, 'DemodOutDemapIn');
tern_same(d.DemapOut, R.detect_DemapOut, 'DemapOut');
assert(all(d.DemapOut == 0 | d.DemapOut == 1));

%% no output still runs
clear ans;
ternDetect(R.split_out, milstd);
tern_same(ans, d, 'ans');

%% own check: a demapped value that does not fit in bitsToSym bits
tern_expect_error(@() ternDetect(R.split_out, setfield(milstd, 'demapper', 8 * ones(size(milstd.demapper)))), '', ...
                  'ERRO! Número de bits insuficientes para representar o símbolo (n).');

%% the entry layer's checks
tern_invalid(@() ternDetect(R.split_out.', milstd), 'DemodulatorIn');
tern_invalid(@() ternDetect(R.split_out, setfield(milstd, 'demapper', milstd.demapper + 1i)), 'milstd.demapper');
tern_invalid(@() ternDetect(R.split_out, setfield(milstd, 'scrambler', {})), 'milstd.scrambler');
tern_invalid(@() ternDetect(R.split_out, setfield(milstd, 'bitsToSym', [2; 2])), 'milstd.bitsToSym');
disp('test_ternDetect: all checks passed');
