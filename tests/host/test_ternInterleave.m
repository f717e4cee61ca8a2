% Host test of ternInterleave: the interleaver of soft values of the turbo
% passes, the inverse of ternUnweave.
[R, milstd] = tern_reference();
tern_check_entry('ternInterleave', 2);

w = ternInterleave(R.unweave_in, milstd);
tern_check_record(w, {'out'});
tern_same(w.out, R.interleave_out, 'interleaved');
tern_same(ternUnweave(w.out, milstd).out, R.unweave_in, 'ternUnweave(ternInterleave(x))');

%% own checks (ternUnweave's) and the entry layer's
tern_expect_error(@() ternInterleave(R.unweave_in, setfield(milstd, 'codeRate', 1)), '', ...
                  'ERRO! Esta configuracao da forma de onda nao utiliza interleaving.');
tern_invalid(@() ternInterleave(complex(R.unweave_in, 1), milstd), 'InterleaverIn');
disp('test_ternInterleave: all checks passed');
