% Host test of ternSend: the transmitter drawing from the host's generator.
[R, milstd] = tern_reference();
tern_check_entry('ternSend', 3);
sendFields = {'BitInCodIn', 'CodOutInterIn', 'InterOutMapIn', 'MapOutScrambIn', 'ScrambOutMultiplexIn', ...
              'ComplexPSKSymbols', 'ModConstellation', 'ProbeInfo', 'MultiplexOut'};
nframe = 2;
seed = 1234;

%% result record, and the host generator left exactly as it was
rng(99, 'twister');
rand(3, 1); randn(2, 1);  % some state that is not a fresh seed
before = rng;
r = ternSend(milstd, nframe, seed);
assert(isequal(rng, before), 'the host generator changed');
tern_check_record(r, sendFields);
for f = {'BitInCodIn', 'CodOutInterIn', 'InterOutMapIn', 'MapOutScrambIn', 'ScrambOutMultiplexIn', 'ProbeInfo'}
  tern_check_column(r.(f{1}), [], false);
end
for f = {'ComplexPSKSymbols', 'ModConstellation', 'MultiplexOut'}
  tern_check_column(r.(f{1}), [], true);
end
tern_check_column(r.BitInCodIn, nframe * milstd.inputBitsPerInter, false);
tern_check_column(r.CodOutInterIn, nframe * milstd.interLength, false);
assert(all(r.BitInCodIn == 0 | r.BitInCodIn == 1));
tern_same(r.MultiplexOut(1:milstd.preambleLength), milstd.preambleFrame, 'preamble at the start of the burst');
% the draws after the call are those the untouched generator makes
expected = rand(4, 1);
rng(before);
ternSend(milstd, nframe, seed);
tern_same(rand(4, 1), expected, 'draws after a call');

%% same seed, same record; another seed, another payload
tern_same(ternSend(milstd, nframe, seed), r, 'second call');
other = ternSend(milstd, nframe, seed + 1);
assert(~isequal(other.BitInCodIn, r.BitInCodIn));

%% equal to the host-free core given the same draws: rng(seed, 'twister') then rand
rng(seed, 'twister');
U = rand(nframe * milstd.inputBitsPerInter + 10, 1);
N = randn(10, 1);
rng(before);
tern_same(ternReplay('ternSend', U, N, milstd, nframe, seed), r, 'module against host-free core');

%% calling with no output still runs
clear ans;
ternSend(milstd, nframe, seed);
tern_same(ans, r, 'ans');

%% the encoder's own checks, on records altered in the host
with = @(field, value) setfield(milstd, field, value);
% (the tap check, 'ERRO! Um ou mais polinomios geradores invalidos', cannot be
% reached from the host: the taps are the binary digits of the octal values)
tern_expect_error(@() ternSend(with('puncturingMask', [1; 2; 1; 1]), 1, seed), '', ...
                  'ERRO! Mascara de truncamento invalida (puncturingMask).');
tern_expect_error(@() ternSend(with('puncturingMask', [1; 1; 1]), 1, seed), '', ...
                  'ERRO! O comprimento da mascara de truncamento deve ser um multiplo do numero de polinomios geradores.');
tern_expect_error(@() ternSend(with('puncturingMask', [1; 0; 0; 0]), 1, seed), '', ...
                  'ERRO! Taxa de codificacao resultante igual ou superior a 1.');
for badSeed = [-1 1.5 2^32 NaN]
  tern_expect_error(@() ternSend(milstd, 1, badSeed), '', 'ERRO! A semente do gerador deve ser um número inteiro entre 0 e 4294967295 (seed).');
end
% a failing call leaves the generator as it was too
assert(isequal(rng, before));

%% the entry layer's checks, in argument order and field order
tern_invalid(@() ternSend(milstd, 1i, seed), 'nframe');
tern_invalid(@() ternSend(milstd, [1 2], seed), 'nframe');
tern_invalid(@() ternSend(milstd, nframe, int32(seed)), 'seed');
tern_invalid(@() ternSend(milstd, nframe, []), 'seed');
tern_invalid(@() ternSend(milstd, 'x', []), 'nframe');
tern_invalid(@() ternSend(with('mapper', zeros(257, 1)), nframe, seed), 'milstd.mapper');
tern_invalid(@() ternSend(with('demapper', milstd.demapper'), nframe, seed), 'milstd.demapper');
tern_invalid(@() ternSend(with('constellation', zeros(257, 1)), nframe, seed), 'milstd.constellation');
tern_invalid(@() ternSend(with('genPolinomials', [133; 171]), nframe, seed), 'milstd.genPolinomials');
tern_invalid(@() ternSend(with('genPolinomials', [133 171 165]), nframe, seed), 'milstd.genPolinomials');
tern_invalid(@() ternSend(with('puncturingMask', ones(17, 1)), nframe, seed), 'milstd.puncturingMask');
tern_invalid(@() ternSend(with('scrambler', milstd.scrambler + 0i * 1i + 1i), nframe, seed), 'milstd.scrambler');
tern_invalid(@() ternSend(with('interTable', single(milstd.interTable)), nframe, seed), 'milstd.interTable');
tern_invalid(@() ternSend(with('codeRate', []), nframe, seed), 'milstd.codeRate');
% the first bad field in the record's order is the one reported
tern_invalid(@() ternSend(setfield(with('interTable', {}), 'bitsToSym', 'x'), nframe, seed), 'milstd.bitsToSym');
% a record with an extra field fails before any of its fields is imported
extra = with('bitsToSym', 'x'); extra.more = 1;
tern_expect_error(@() ternSend(extra, nframe, seed), 'tern:invalidArgument', {'''milstd''', '''more'' is not expected'});
tern_expect_error(@() ternSend(rmfield(milstd, 'interTable'), nframe, seed), 'tern:invalidArgument', ...
                  {'''milstd''', '''interTable'' is missing'});
% complex columns that the host narrowed to real are taken with zero imaginary parts
narrowed = with('probeFrame', real(milstd.probeFrame));
rn = ternSend(narrowed, nframe, seed);
tern_same(rn.BitInCodIn, r.BitInCodIn, 'payload with a narrowed record');
assert(isequal(rng, before));

%% a failing host draw comes back as the host's error; the generator is given back
shadow = tempname();
mkdir(shadow);
fid = fopen(fullfile(shadow, 'rand.m'), 'w');
fprintf(fid, ['function r = rand(varargin)\n' ...
              '  if nargin > 0 && ischar(varargin{1}), if nargout > 0, r = builtin(''rand'', varargin{:}); else, builtin(''rand'', varargin{:}); end, return, end\n' ...
              '  error(''tern:test:noDraws'', ''no draws %%s today'');\n' ...
              'end\n']);
fclose(fid);
addpath(shadow);
% (Octave hands back a trapped failure as 'Octave:MEX' naming the function, without its message)
tern_expect_error(@() ternSend(milstd, nframe, seed), 'Octave:MEX', {'The host''s random generator failed in ''rand'''});
rmpath(shadow);
delete(fullfile(shadow, 'rand.m'));
rmdir(shadow);
assert(isequal(rng, before), 'the generator was not given back after a failing draw');
tern_same(ternSend(milstd, nframe, seed), r, 'call after a failing draw');

%% unloading the module frees its persistent state; it loads and runs again
clear ternSend;
tern_same(ternSend(milstd, nframe, seed), r, 'call after unloading');
disp('test_ternSend: all checks passed');
