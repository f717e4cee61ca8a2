% Host test of ternDecode: the wrap-around Viterbi decoder of the tail-biting code.
[R, milstd] = tern_reference();
tern_check_entry('ternDecode', 2);
with = @(field, value) setfield(milstd, field, value);
hard = 1 - 2 * R.decode_coded;  % hard bits b passed as 1 - 2b

%% result record, equal to the host-free core
d = ternDecode(R.decode_in, milstd);
tern_check_record(d, {'DecodOut'});
tern_check_column(d.DecodOut, 2 * milstd.inputBitsPerInter, false);
tern_same(d.DecodOut, R.decode_DecodOut, 'DecodOut');
assert(all(d.DecodOut == 0 | d.DecodOut == 1));
% the noisy values have hundreds of wrong signs; the decoder corrects them all
assert(sum(sign(R.decode_in) ~= hard) > 100);
tern_same(d.DecodOut, R.decode_payload, 'payload from noisy values');

%% hard bits give the payload back exactly, at any scale; a few flipped bits too
tern_same(ternDecode(hard, milstd).DecodOut, R.decode_payload, 'hard bits');
tern_same(ternDecode(1e-3 * hard, milstd).DecodOut, R.decode_payload, 'scaled values');
flipped = hard;
flipped(7:400:end) = -flipped(7:400:end);
tern_same(ternDecode(flipped, milstd).DecodOut, R.decode_payload, 'a few flipped bits');
% one block decodes on its own to its own payload
L = milstd.interLength;
B = milstd.inputBitsPerInter;
tern_same(ternDecode(hard(L + 1:2 * L), milstd).DecodOut, R.decode_payload(B + 1:2 * B), 'second block alone');
% no blocks: an empty column
e = ternDecode(zeros(0, 1), milstd);
tern_check_record(e, {'DecodOut'});
assert(isequal(size(e.DecodOut), [0 1]));

%% no output still runs
clear ans;
ternDecode(R.decode_in, milstd);
tern_same(ans, d, 'ans');

%% own checks: the encoder's messages for the mask, then the decoder's limits
% (the tap check, 'ERRO! Um ou mais polinomios geradores invalidos', cannot be
% reached from the host: the taps are the binary digits of the octal values)
tern_expect_error(@() ternDecode(hard, with('puncturingMask', [1; 2; 1; 1])), '', ...
                  'ERRO! Mascara de truncamento invalida (puncturingMask).');
tern_expect_error(@() ternDecode(hard, with('puncturingMask', [1; 1; 1])), '', ...
                  'ERRO! O comprimento da mascara de truncamento deve ser um multiplo do numero de polinomios geradores.');
tern_expect_error(@() ternDecode(hard, with('puncturingMask', [1; 0; 0; 0])), '', ...
                  'ERRO! Taxa de codificacao resultante igual ou superior a 1.');
tern_expect_error(@() ternDecode(hard, with('genPolinomials', [1234567 171])), '', ...
                  'ERRO! O decodificador suporta comprimento de restrição de no máximo 15 (genPolinomials).');
tern_expect_error(@() ternDecode(hard, setfield(with('repFactor', 0), 'puncturingMask', zeros(0, 1))), '', ...
                  'ERRO! O decodificador suporta de 1 a 64 polinômios geradores após a repetição (genPolinomials, repFactor).');
% the mask is checked before the length
tern_expect_error(@() ternDecode(hard(2:end), with('puncturingMask', [1; 2; 1; 1])), '', ...
                  'ERRO! Mascara de truncamento invalida (puncturingMask).');

%% run-time checks of lengths and record values, naming what was wrong
tern_expect_error(@() ternDecode(hard(2:end), milstd), 'Coder:MATLAB:getReshapeDims_notSameNumel', {'DecoderIn'});
tern_expect_error(@() ternDecode(hard, with('interLength', NaN)), ...
                  'Coder:toolbox:eml_assert_valid_size_arg_invalidSizeVector', {'milstd.interLength'});
tern_expect_error(@() ternDecode(hard, with('codLength', 0)), 'Coder:builtins:IndexOutOfBounds', {'milstd.codLength'});
tern_expect_error(@() ternDecode(hard, with('codLength', 7.5)), 'Coder:MATLAB:NonIntegerInput', {});
tern_expect_error(@() ternDecode(hard, with('genPolinomials', [-133 171])), 'Coder:toolbox:log10_domainError', ...
                  {'milstd.genPolinomials'});

%% the entry layer's checks: the values are a real column
tern_invalid(@() ternDecode(complex(hard, 1), milstd), 'DecoderIn');
tern_invalid(@() ternDecode(hard.', milstd), 'DecoderIn');
tern_invalid(@() ternDecode(logical(R.decode_coded), milstd), 'DecoderIn');
tern_invalid(@() ternDecode(hard, with('puncturingMask', ones(17, 1))), 'milstd.puncturingMask');
tern_invalid(@() ternDecode(hard, with('genPolinomials', [133; 171])), 'milstd.genPolinomials');
tern_invalid(@() ternDecode(hard, rmfield(milstd, 'interTable')), 'milstd');
disp('test_ternDecode: all checks passed');
