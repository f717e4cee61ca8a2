% receiver.m - the ten-module receiver beside the channel-correcting one,
% through a fading channel, as a user runs it.
%
% For each of a few bursts: ternSetup -> ternSend -> ternShape -> ternFade
% -> ternMatch -> ternFrameLock -> ternTiming, then the ten modules' receiver
% (ternSplit -> ternDetect or ternSoftDetect -> ternUnweave -> ternDecode,
% no channel correction) and ternReceive on the same timing output, once
% with one LMMSE equaliser pass ("lmmse") and once with the turbo passes
% ("turbo"). It prints the information-bit error rate of each receiver,
% side by side, and the channel estimate's noise variance against the
% channel's own.
%
% Usage (from the repository root, after building):
%   addpath(fullfile(pwd, 'build', 'mex')); run('examples/receiver.m')
% Settings that are already defined in the workspace are kept, e.g.
%   channelModel = 'moderado'; EsNodB = 16; nBursts = 10; run('examples/receiver.m')

if ~exist('channelModel', 'var'), channelModel = 'ruim'; end
if ~exist('EsNodB', 'var'),       EsNodB = 14;          end
if ~exist('nBursts', 'var'),      nBursts = 6;          end
if ~exist('nFrames', 'var'),      nFrames = 6;          end
if ~exist('passes', 'var'),       passes = 3;           end

varShapping = struct('rolloffFactor', 0.35, 'pulseDelay', 6, 'oversamplingFactor', 5);
N0 = 10 ^ (-EsNodB / 10);  % the noise variance per symbol the channel adds
receivers = {'hard, no equaliser', 'soft, no equaliser', 'ternReceive lmmse', 'ternReceive turbo'};
errors = zeros(1, numel(receivers));
sent = 0;
estimatedN0 = zeros(1, nBursts);
for burst = 1:nBursts
  varmilstd = struct('modointer', 'short', 'M', 1, 'N_tlc', 2, 'N_fixa', 1, ...
                     'codLength', 7, 'nFrames', nFrames, 'seed', burst);
  varWatterson = struct('model', channelModel, 'EsNodB', EsNodB, 'seed', 100 + burst);
  milstd = ternSetup(varmilstd);
  send = ternSend(milstd, nFrames, burst);
  fade = ternFade(ternShape(send.MultiplexOut, varShapping).out, varWatterson, varShapping);
  match = ternMatch(fade.AwgnOut, varShapping);
  frameStart = ternFrameLock(match.out, milstd, varShapping);
  info = send.BitInCodIn;
  sent = sent + numel(info);
  if isempty(frameStart)
    errors = errors + numel(info);  % no preamble found: every bit is lost
    continue;
  end
  timing = ternTiming(match.out, frameStart, varShapping);

  % the ten modules' receiver
  split = ternSplit(timing.out, milstd);
  hard = ternDecode(1 - 2 * ternUnweave(ternDetect(split.out, milstd).DemapOut, milstd).out, milstd);
  soft = ternDecode(ternUnweave(ternSoftDetect(split.out, milstd, N0).LLROut, milstd).out, milstd);
  % the channel-correcting receiver
  lmmse = ternReceive(timing.out, milstd, varShapping, ...
                      struct('equalizer', 'lmmse', 'passes', 0, 'doppler', 0, 'tracking', 1));
  turbo = ternReceive(timing.out, milstd, varShapping, ...
                      struct('equalizer', 'turbo', 'passes', passes, 'doppler', 0, 'tracking', 1));
  estimatedN0(burst) = turbo.estimate.N0;

  decided = {hard.DecodOut, soft.DecodOut, lmmse.DecodOut, turbo.DecodOut};
  for k = 1:numel(decided)
    % bits that never arrived count as errors
    compared = min(numel(info), numel(decided{k}));
    errors(k) = errors(k) + sum(info(1:compared) ~= decided{k}(1:compared)) + (numel(info) - compared);
  end
end
errorRate = errors / sent;

printf('%s at Es/N0 %g dB, %d bursts of %d frames, %d information bits\n', ...
       channelModel, EsNodB, nBursts, nFrames, sent);
for k = 1:numel(receivers)
  printf('  %-20s %6d errors   bit error rate %.3g\n', receivers{k}, errors(k), errorRate(k));
end
printf('noise variance per symbol: channel %.4g, estimated %.4g (mean over the bursts)\n', N0, mean(estimatedN0));
