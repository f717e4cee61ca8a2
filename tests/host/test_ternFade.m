% Host test of ternFade: the Watterson channel drawing from the host's generator.
[R, ~, varShapping] = tern_reference();
tern_check_entry('ternFade', 3);  % properties: ternFade, 3 inputs, 1 output, false false false
fadeFields = {'raios', 'RER', 'ED', 'WattersonOutAwgnIn', 'noise', 'AwgnOut'};
x = R.shape_out(1:3000);
varWatterson = struct('model', 'bom', 'EsNodB', 15, 'seed', 77);
Ns = varShapping.oversamplingFactor;

%% result record for every condition; the host generator left as it was
rng(5, 'twister'); rand(2, 1); randn(3, 1);
before = rng;
conditions = {'bom', 0.1, 0.0005; 'moderado', 0.5, 0.001; 'ruim', 1.0, 0.002; 'muito_ruim', 5.0, 0.005};
for k = 1:rows(conditions)
  f = ternFade(x, setfield(varWatterson, 'model', conditions{k, 1}), varShapping);
  assert(isequal(rng, before), 'the host generator changed');
  tern_check_record(f, fadeFields);
  d = round(conditions{k, 3} * 19200 * Ns);
  assert(isequal(size(f.raios), [numel(x) 2]) && ~isreal(f.raios));
  assert(f.ED == conditions{k, 2} && f.RER == conditions{k, 3}, conditions{k, 1});
  for g = {'WattersonOutAwgnIn', 'noise', 'AwgnOut'}
    tern_check_column(f.(g{1}), numel(x) + d, true);
  end
  tern_same(f.AwgnOut, f.WattersonOutAwgnIn + f.noise, 'AwgnOut');
end

%% same seed, same record; equal to the host-free core given the same draws
f = ternFade(x, varWatterson, varShapping);
tern_same(ternFade(x, varWatterson, varShapping), f, 'second call');
rng(varWatterson.seed, 'twister');
U = rand(10, 1);
N = randn(2 * numel(x) + 1000, 1);
rng(before);
tern_same(ternReplay('ternFade', U, N, x, varWatterson, varShapping), f, 'module against host-free core');
assert(isequal(rng, before));
% the noise level is fixed by EsNodB: variance 10^(-EsNodB/10) per complex sample
quiet = ternFade(x, setfield(varWatterson, 'EsNodB', 200), varShapping);
assert(max(abs(quiet.noise)) < 1e-8);

%% calling with no output still runs
clear ans;
ternFade(x, varWatterson, varShapping);
tern_same(ans, f, 'ans');

%% own checks; the generator is left as it was whichever fails
tern_expect_error(@() ternFade(x, setfield(varWatterson, 'model', 'Bom'), varShapping), '', ...
                  'ERRO! Tipo de canal Watterson invalido.');
tern_expect_error(@() ternFade(x, setfield(varWatterson, 'model', ''), varShapping), '', ...
                  'ERRO! Tipo de canal Watterson invalido.');
assert(isequal(rng, before));
tern_expect_error(@() ternFade(x, varWatterson, setfield(varShapping, 'oversamplingFactor', 3)), '', ...
                  'ERRO! Superamostragem incompativel com o atraso entre raios Watterson desejado.');
% a failure after seeding also gives the generator back
assert(isequal(rng, before), 'the generator was left seeded after a failure');
tern_expect_error(@() ternFade(x, setfield(varWatterson, 'EsNodB', NaN), varShapping), '', ...
                  'ERRO! Relacao Es/N0 invalida: varWatterson.EsNodB deve dar um ruido finito.');
assert(isequal(rng, before));
tern_expect_error(@() ternFade(x, setfield(varWatterson, 'seed', -3), varShapping), '', ...
                  'ERRO! A semente do gerador deve ser um número inteiro entre 0 e 4294967295 (seed).');
assert(isequal(rng, before));
% muito_ruim has a whole delay for any whole Ns
m = ternFade(x, setfield(varWatterson, 'model', 'muito_ruim'), setfield(varShapping, 'oversamplingFactor', 3));
assert(numel(m.AwgnOut) == numel(x) + 0.005 * 19200 * 3);

%% the entry layer's checks
tern_invalid(@() ternFade(x.', varWatterson, varShapping), 'WattersonIn');
tern_invalid(@() ternFade(single(x), varWatterson, varShapping), 'WattersonIn');
tern_invalid(@() ternFade([], varWatterson, varShapping), 'WattersonIn');
tern_invalid(@() ternFade(x, setfield(varWatterson, 'model', repmat('b', 1, 51)), varShapping), 'varWatterson.model');
tern_invalid(@() ternFade(x, setfield(varWatterson, 'model', {'bom'}), varShapping), 'varWatterson.model');
tern_invalid(@() ternFade(x, setfield(varWatterson, 'EsNodB', 1i), varShapping), 'varWatterson.EsNodB');
% fields that the channel does not use are still checked
tern_invalid(@() ternFade(x, varWatterson, setfield(varShapping, 'rolloffFactor', 'x')), 'varShapping.rolloffFactor');
tern_invalid(@() ternFade(x, varWatterson, orderfields(varShapping)), 'varShapping');
assert(isequal(rng, before));
% a real input is a complex input with zero imaginary parts
tern_same(ternFade(real(x), varWatterson, varShapping), ternFade(complex(real(x), 0), varWatterson, varShapping), ...
          'real input');
disp('test_ternFade: all checks passed');
