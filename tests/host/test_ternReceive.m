% Host test of ternReceive: the whole channel-correcting receiver after the
% symbol timing, with its channel estimate as a nested record.
[R, milstd, varShapping] = tern_reference();
tern_check_entry('ternReceive', 4);
receiver = @(equalizer, passes) struct('equalizer', equalizer, 'passes', passes, 'doppler', 0, 'tracking', 1);
estimateFields = {'delays', 'gains', 'gainError', 'N0', 'doppler'};

%% the record, equal to the host-free core's, for both equalisers
for equalizer = {'lmmse', 'turbo'}
  name = ['receive_' equalizer{1}];
  r = ternReceive(R.receive_in, milstd, varShapping, receiver(equalizer{1}, 2));
  assert(isequal(fieldnames(r)', {'DecodOut', 'LLROut', 'passes', 'estimate'}), 'fields');
  tern_check_record(rmfield(r, 'estimate'), {'DecodOut', 'LLROut', 'passes'});
  tern_check_record(r.estimate, estimateFields);
  tern_same(r.DecodOut, R.([name '_DecodOut']), [name ' DecodOut']);
  tern_same(r.LLROut, R.([name '_LLROut']), [name ' LLROut']);
  tern_same(r.passes, R.([name '_passes']), [name ' passes']);
  for k = 1:numel(estimateFields)
    tern_same(r.estimate.(estimateFields{k}), R.([name '_estimate_' estimateFields{k}]), [name ' estimate']);
  end
  % no channel: every information bit of the whole blocks comes through
  tern_check_column(r.DecodOut, 2 * milstd.inputBitsPerInter, false);
  tern_check_column(r.LLROut, 2 * milstd.interLength, false);
  assert(isequal(r.DecodOut, R.receive_payload(1:numel(r.DecodOut))), '%s: information bit errors', name);
end
% the lmmse receiver is ternEstimate, ternEqualize, ternUnweave, ternDecode in a row
e = ternEstimate(R.receive_in, milstd, varShapping);
tern_same(r.estimate.delays, e.delays, 'the estimate''s paths');
lmmse = ternReceive(R.receive_in, milstd, varShapping, receiver('lmmse', 0));
coded = ternUnweave(ternEqualize(R.receive_in, milstd, varShapping, e, []).LLROut, milstd).out;
tern_same(lmmse.LLROut, coded, 'lmmse LLROut against the modules in a row');
tern_same(lmmse.DecodOut, ternDecode(coded, milstd).DecodOut, 'lmmse DecodOut against the modules in a row');

%% through "ruim" at 20 dB no information bit is wrong
[timing, ms, vs, send] = tern_faded_burst('ruim', 20, 6, 7);
for equalizer = {'lmmse', 'turbo'}
  r = ternReceive(timing, ms, vs, receiver(equalizer{1}, 3));
  info = send.BitInCodIn(1:numel(r.DecodOut));
  assert(numel(r.DecodOut) >= ms.inputBitsPerInter && isequal(r.DecodOut, info), ...
         '%s: %d information bit errors', equalizer{1}, sum(r.DecodOut ~= info));
  assert(r.passes <= 3 && (strcmp(equalizer{1}, 'turbo') || r.passes == 0));
end

%% own checks of varReceiver
bad = {'equalizer', 'none', 'ERRO! Equalizador desconhecido: varReceiver.equalizer deve ser "lmmse" ou "turbo".';
       'passes',    1.5,    'ERRO! varReceiver.passes deve ser um número inteiro de 0 a 20.';
       'passes',    21,     'ERRO! varReceiver.passes deve ser um número inteiro de 0 a 20.';
       'doppler',   -1,     'ERRO! varReceiver.doppler deve ser um número finito não negativo (Hz; 0 para estimar).';
       'tracking',  2,      'ERRO! varReceiver.tracking deve ser 0 ou 1.'};
for b = 1:rows(bad)
  tern_expect_error(@() ternReceive(R.receive_in, milstd, varShapping, setfield(receiver('turbo', 3), bad{b, 1:2})), ...
                    '', bad{b, 3});
end
tern_expect_error(@() ternReceive(R.receive_in(1:100), milstd, varShapping, receiver('lmmse', 0)), '', ...
                  {'ERRO! SymbolsIn tem 100 símbolos'});

%% the entry layer's checks
tern_invalid(@() ternReceive(R.receive_in, milstd, varShapping, rmfield(receiver('turbo', 3), 'tracking')), 'varReceiver');
tern_invalid(@() ternReceive(R.receive_in, milstd, varShapping, setfield(receiver('turbo', 3), 'equalizer', 1)), ...
             'varReceiver.equalizer');
tern_invalid(@() ternReceive(R.receive_in, milstd, varShapping, setfield(receiver('turbo', 3), 'passes', [1 2])), ...
             'varReceiver.passes');
disp('test_ternReceive: all checks passed');
