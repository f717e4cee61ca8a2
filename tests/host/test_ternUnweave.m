% Host test of ternUnweave: the bits back in encoder order.
[R, milstd] = tern_reference();
tern_check_entry('ternUnweave', 2);

%% result record, equal to the host-free core
u = ternUnweave(R.unweave_in, milstd);
tern_check_record(u, {'out'});
tern_check_column(u.out, numel(R.unweave_in), false);
tern_same(u.out, R.unweave_out, 'out');
% direct check: within each block, out(interTable(i)) = in(i) undoes the
% transmitter's reading of the block at interTable (a permutation)
L = milstd.interLength;
assert(isequal(sort(milstd.interTable), (1:L)'));
block = R.unweave_in(1:L);
tern_same(sort(u.out(1:L)), sort(block), 'a permutation of each block');

%% no output still runs
clear ans;
ternUnweave(R.unweave_in, milstd);
tern_same(ans, u, 'ans');

%% own check: a record without interleaving
tern_expect_error(@() ternUnweave(R.unweave_in, setfield(milstd, 'codeRate', 1)), '', ...
                  'ERRO! Esta configuracao da forma de onda nao utiliza interleaving.');

%% the entry layer's checks: the bits are a real column
tern_invalid(@() ternUnweave(complex(R.unweave_in, 1), milstd), 'DeinterleaverIn');
tern_invalid(@() ternUnweave(R.unweave_in.', milstd), 'DeinterleaverIn');
tern_invalid(@() ternUnweave(logical(R.unweave_in), milstd), 'DeinterleaverIn');
tern_invalid(@() ternUnweave(R.unweave_in, setfield(milstd, 'interTable', int32(milstd.interTable))), ...
             'milstd.interTable');
disp('test_ternUnweave: all checks passed');
