function [timing, milstd, varShapping, send, N0] = tern_faded_burst(model, EsNodB, nFrames, seed)
% [timing, milstd, varShapping, send, N0] = tern_faded_burst(model, EsNodB,
% nFrames, seed): one "short" burst (codLength 7) through the modules, from
% the transmitter through the channel `model` to the symbol timing output;
% N0 is the noise variance per symbol the channel adds.
  varmilstd = struct('modointer', 'short', 'M', 1, 'N_tlc', 2, 'N_fixa', 1, ...
                     'codLength', 7, 'nFrames', nFrames, 'seed', seed);
  varShapping = struct('rolloffFactor', 0.35, 'pulseDelay', 6, 'oversamplingFactor', 5);
  milstd = ternSetup(varmilstd);
  send = ternSend(milstd, nFrames, seed);
  fade = ternFade(ternShape(send.MultiplexOut, varShapping).out, ...
                  struct('model', model, 'EsNodB', EsNodB, 'seed', 100 + seed), varShapping);
  match = ternMatch(fade.AwgnOut, varShapping);
  frameStart = ternFrameLock(match.out, milstd, varShapping);
  assert(~isempty(frameStart), 'no preamble found');
  timing = ternTiming(match.out, frameStart, varShapping).out;
  N0 = 10 ^ (-EsNodB / 10);
end
