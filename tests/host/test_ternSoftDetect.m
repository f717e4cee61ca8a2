% Host test of ternSoftDetect: max-log bit ratios of the data symbols.
[R, milstd] = tern_reference();
tern_check_entry('ternSoftDetect', 3);
N0 = R.softdetect_N0;
n = milstd.bitsToSym;

%% result record, equal to the host-free core
s = ternSoftDetect(R.split_out, milstd, N0);
tern_check_record(s, {'LLROut'});
tern_check_column(s.LLROut, numel(R.split_out) * n, false);
tern_same(s.LLROut, R.softdetect_LLROut, 'LLROut');
% the signs are the hard demodulator's decisions: negative where it gives a 1
assert(isequal(s.LLROut < 0, R.detect_DemapOut == 1));
% the ratios scale with 1/N0
tern_same(ternSoftDetect(R.split_out, milstd, 2 * N0).LLROut, s.LLROut / 2, 'half the ratios at twice N0');

%% noisy symbols against the max-log formula written out here
rng(3, 'twister');
y = R.split_out + 0.4 * complex(randn(size(R.split_out)), randn(size(R.split_out)));
blocks = numel(y) / milstd.dataLength;
z = y .* repmat(exp(-1i * pi * milstd.scrambler / 4), blocks, 1);      % descrambled
points = exp(2i * pi * (0:2^n - 1) / 2^n);                              % point m at column m + 1
labels = milstd.demapper(1:2^n)';
d2 = abs(z - points) .^ 2;                                              % symbols by points
expected = zeros(n, numel(z));
for i = 1:n
  one = bitand(labels, 2^(n - i)) ~= 0;                                 % most significant bit first
  expected(i, :) = (min(d2(:, one), [], 2) - min(d2(:, ~one), [], 2))' / N0;
end
got = ternSoftDetect(y, milstd, N0).LLROut;
assert(max(abs(got - expected(:))) < 1e-9 * max(1, max(abs(expected(:)))), 'max-log ratios differ from the formula');
% a symbol that is not finite carries no information
y(5) = NaN;
got = ternSoftDetect(y, milstd, N0).LLROut;
assert(all(got((5 - 1) * n + (1:n)) == 0));

%% no output still runs
clear ans;
ternSoftDetect(R.split_out, milstd, N0);
tern_same(ans, s, 'ans');

%% own checks, in order: the modulation, then N0, then the demapping table
tern_expect_error(@() ternSoftDetect(R.split_out, setfield(milstd, 'bitsToSym', 4), -1), '', ...
                  'ERRO! A demodulação suave só está disponível para modulações de fase com até 3 bits por símbolo (milstd.bitsToSym).');
for badN0 = [0 -1 Inf NaN]
  tern_expect_error(@() ternSoftDetect(R.split_out, milstd, badN0), '', ...
                    'ERRO! A variância do ruído deve ser um escalar real positivo e finito (N0).');
end
tern_expect_error(@() ternSoftDetect(R.split_out, setfield(milstd, 'demapper', 8 * ones(size(milstd.demapper))), N0), ...
                  '', 'ERRO! Número de bits insuficientes para representar o símbolo (n).');
tern_expect_error(@() ternSoftDetect(R.split_out, setfield(milstd, 'demapper', -ones(size(milstd.demapper))), N0), ...
                  '', 'ERRO! Valores inválidos na tabela de demapeamento: cada ponto deve ter bits 0 ou 1 (milstd.demapper).');
% lengths that are not a whole number of blocks (none at all, as for the hard demodulator)
tern_expect_error(@() ternSoftDetect(zeros(0, 1), milstd, N0), 'Coder:toolbox:reshape_emptyReshapeLimit', ...
                  {'milstd.dataLength'});
tern_expect_error(@() ternSoftDetect(R.split_out(2:end), milstd, N0), 'Coder:MATLAB:NonIntegerInput', {});

%% the entry layer's checks
tern_invalid(@() ternSoftDetect(R.split_out.', milstd, N0), 'DemodulatorIn');
tern_invalid(@() ternSoftDetect(single(R.split_out), milstd, N0), 'DemodulatorIn');
tern_invalid(@() ternSoftDetect(R.split_out, milstd, 1 + 1i), 'N0');
tern_invalid(@() ternSoftDetect(R.split_out, milstd, [1 1]), 'N0');
tern_invalid(@() ternSoftDetect(R.split_out, milstd, []), 'N0');
tern_invalid(@() ternSoftDetect(R.split_out, milstd, '1'), 'N0');
tern_invalid(@() ternSoftDetect(R.split_out, setfield(milstd, 'demapper', milstd.demapper + 1i), N0), 'milstd.demapper');
tern_invalid(@() ternSoftDetect(R.split_out, orderfields(milstd), N0), 'milstd');
disp('test_ternSoftDetect: all checks passed');
