% Host test of ternSetup: the waveform parameter record from the host side.
[R, refMilstd, ~, varmilstd] = tern_reference();
tern_check_entry('ternSetup', 1);

milstdFields = {'symbolRate', 'bitsToSym', 'mapper', 'demapper', 'constellation', 'dataFramesPerInter', ...
                'interLength', 'inputBitsPerInter', 'interIncrement', 'codeRate', 'codLength', ...
                'genPolinomials', 'puncturingMask', 'repFactor', 'dataLength', 'probeLength', 'scrambler', ...
                'preambleFrame', 'preambleLength', 'probeFrame', 'probeShiftFrame', 'interTable'};

%% result: fields in order, classes, shapes, and equal to the host-free core
milstd = ternSetup(varmilstd);
tern_check_record(milstd, milstdFields);
scalars = {'symbolRate', 'bitsToSym', 'dataFramesPerInter', 'interLength', 'inputBitsPerInter', ...
           'interIncrement', 'codeRate', 'codLength', 'repFactor', 'dataLength', 'probeLength', 'preambleLength'};
for k = 1:numel(scalars)
  assert(isscalar(milstd.(scalars{k})) && isreal(milstd.(scalars{k})), scalars{k});
end
assert(isequal(size(milstd.genPolinomials), [1 2]), 'genPolinomials is a 1-by-2 row');
for f = {'mapper', 'demapper', 'puncturingMask', 'scrambler', 'interTable'}
  tern_check_column(milstd.(f{1}), [], false);
end
for f = {'constellation', 'preambleFrame', 'probeFrame', 'probeShiftFrame'}
  tern_check_column(milstd.(f{1}), [], true);
end
assert(~isreal(milstd.preambleFrame));
for k = 1:numel(milstdFields)
  tern_same(milstd.(milstdFields{k}), refMilstd.(milstdFields{k}), ['milstd.' milstdFields{k}]);
end
assert(milstd.codeRate == 0.75 && milstd.symbolRate == 19200 && milstd.dataLength == 2176);

%% every own check, in its order
e1 = 'ERRO! Modo interleaving inválido (varmilstd.modointer).';
e2 = 'ERRO! O número de repetições do superquadro deve estar entre 1 e 32 (varmilstd.M).';
e3 = 'ERRO! O número de blocos TLC deve estar entre 0 e 255 (varmilstd.N_tlc)';
e4 = 'ERRO! O tamanho da subseção fixa do superquadro deve ser 1 ou 9 (varmilstd.N_fixa).';
e5 = ['ERRO! Quando o tamanho da subseção fixa (varmilstd.N_fixa) for 1, o número e repetições do ' ...
      'subquadro (varmilstd.M) também deverá ser 1.'];
e6 = 'ERRO! Constraint Length do codificador deve ser 7 ou 9 (varmilstd.codLength).';
with = @(field, value) setfield(varmilstd, field, value);
for mode = {'curto', 'Short', 'short ', ''}
  tern_expect_error(@() ternSetup(with('modointer', mode{1})), '', e1);
end
for M = [0 33 1.5 NaN Inf -1]
  tern_expect_error(@() ternSetup(setfield(with('N_fixa', 9), 'M', M)), '', e2);
end
for N = [256 -1 2.5 NaN]
  tern_expect_error(@() ternSetup(with('N_tlc', N)), '', e3);
end
tern_expect_error(@() ternSetup(with('N_fixa', 5)), '', e4);
tern_expect_error(@() ternSetup(with('M', 2)), '', e5);
tern_expect_error(@() ternSetup(with('codLength', 8)), '', e6);
% the first failing check in the order is the one reported
tern_expect_error(@() ternSetup(setfield(with('modointer', 'x'), 'codLength', 8)), '', e1);
tern_expect_error(@() ternSetup(setfield(with('N_fixa', 9), 'M', 40)), '', e2);
% every interleaver mode and both constraint lengths build a record
for mode = {'ultrashort', 'short', 'medium', 'long'}
  m = ternSetup(setfield(with('modointer', mode{1}), 'codLength', 9));
  assert(numel(m.interTable) == m.interLength);
end
% nFrames and seed are required but may hold any real scalar
tern_same(ternSetup(setfield(with('nFrames', NaN), 'seed', -Inf)), milstd, 'record with odd nFrames, seed');

%% the entry layer's checks name the field
tern_invalid(@() ternSetup(with('M', single(1))), 'varmilstd.M');
tern_invalid(@() ternSetup(with('M', int32(1))), 'varmilstd.M');
tern_invalid(@() ternSetup(with('M', true)), 'varmilstd.M');
tern_invalid(@() ternSetup(with('M', 1 + 2i)), 'varmilstd.M');
tern_invalid(@() ternSetup(with('M', [1 1])), 'varmilstd.M');
tern_invalid(@() ternSetup(with('M', [])), 'varmilstd.M');
tern_invalid(@() ternSetup(with('M', sparse(1))), 'varmilstd.M');
tern_invalid(@() ternSetup(with('M', {1})), 'varmilstd.M');
tern_invalid(@() ternSetup(with('M', '1')), 'varmilstd.M');
tern_invalid(@() ternSetup(with('codLength', @sin)), 'varmilstd.codLength');
tern_invalid(@() ternSetup(with('seed', ones(1, 1, 2))), 'varmilstd.seed');
tern_invalid(@() ternSetup(with('modointer', 5)), 'varmilstd.modointer');
tern_invalid(@() ternSetup(with('modointer', repmat('a', 1, 21))), 'varmilstd.modointer');
tern_invalid(@() ternSetup(with('modointer', ['short'; 'short'])), 'varmilstd.modointer');
tern_invalid(@() ternSetup(with('modointer', transpose('short'))), 'varmilstd.modointer');
tern_expect_error(@() ternSetup(with('modointer', repmat('a', 1, 20))), '', e1);  % 20 characters are allowed
tern_invalid(@() ternSetup([varmilstd varmilstd]), 'varmilstd');
tern_invalid(@() ternSetup(struct2cell(varmilstd)), 'varmilstd');
tern_invalid(@() ternSetup(5), 'varmilstd');

%% a record with a missing, extra or misplaced field fails before any field is imported
bad = with('M', single(1));  % a field that would fail on import
tern_expect_error(@() ternSetup(rmfield(bad, 'seed')), 'tern:invalidArgument', {'''varmilstd''', '''seed'' is missing'});
extra = bad; extra.extra = 1;
tern_expect_error(@() ternSetup(extra), 'tern:invalidArgument', {'''varmilstd''', '''extra'' is not expected'});
tern_expect_error(@() ternSetup(orderfields(bad)), 'tern:invalidArgument', {'''varmilstd''', 'field 1 is ''M'''});

%% calling with no output still runs and hands the record to ans
clear ans;
ternSetup(varmilstd);
tern_same(ans, milstd, 'ans');

%% the caller's record is not changed
copy = varmilstd;
ternSetup(varmilstd);
assert(isequal(copy, varmilstd));
disp('test_ternSetup: all checks passed');
