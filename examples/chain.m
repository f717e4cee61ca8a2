% chain.m - the whole modem chain through the host modules, as a user runs it.
%
% configuration -> ternSetup -> ternSend -> ternShape -> ternFade ->
% ternMatch -> ternFrameLock -> ternTiming -> ternSplit -> ternDetect ->
% ternUnweave, keeping every intermediate result in the workspace, then
% printing where the preamble was found and the coded-bit error rate
% (received coded bits against the transmitter's CodOutInterIn). It goes on
% to the information bits: hard decisions (bits b passed as 1 - 2b) and
% soft decisions (ternSoftDetect -> ternUnweave) through ternDecode, with
% their information-bit error rates against the payload BitInCodIn. (The
% receiver does no channel correction yet: through a fading channel the
% information-bit error rate stays near one half.)
%
% Usage (from the repository root, after building):
%   addpath(fullfile(pwd, 'build', 'mex')); run('examples/chain.m')
% Settings that are already defined in the workspace are kept, e.g.
%   useChannel = false; run('examples/chain.m')   % shaping straight into matching
%   channelModel = 'ruim'; EsNodB = 12; run('examples/chain.m')

if ~exist('useChannel', 'var'),   useChannel = true;   end
if ~exist('channelModel', 'var'), channelModel = 'bom'; end
if ~exist('EsNodB', 'var'),       EsNodB = 20;         end
if ~exist('nFrames', 'var'),      nFrames = 2;         end

varmilstd = struct('modointer', 'short', 'M', 1, 'N_tlc', 2, 'N_fixa', 1, ...
                   'codLength', 7, 'nFrames', nFrames, 'seed', 1);
varShapping = struct('rolloffFactor', 0.35, 'pulseDelay', 4, 'oversamplingFactor', 5);
varWatterson = struct('model', channelModel, 'EsNodB', EsNodB, 'seed', 2);

milstd = ternSetup(varmilstd);
send = ternSend(milstd, varmilstd.nFrames, varmilstd.seed);
shape = ternShape(send.MultiplexOut, varShapping);
if useChannel
  fade = ternFade(shape.out, varWatterson, varShapping);
  received = fade.AwgnOut;
else
  fade = [];
  received = shape.out;
end
match = ternMatch(received, varShapping);
frameStart = ternFrameLock(match.out, milstd, varShapping);
if isempty(frameStart)
  error('chain: no preamble found (every correlation coefficient is NaN)');
end
printf('frame lock: preamble starts at sample %d (expected %d without channel delay)\n', ...
       frameStart, 2 * varShapping.pulseDelay * varShapping.oversamplingFactor + 1);

timing = ternTiming(match.out, frameStart, varShapping);
split = ternSplit(timing.out, milstd);
detect = ternDetect(split.out, milstd);
unweave = ternUnweave(detect.DemapOut, milstd);

sentBits = send.CodOutInterIn;
receivedBits = unweave.out;
compared = min(numel(sentBits), numel(receivedBits));
% Bits that never arrived count as errors.
codedBitErrors = sum(sentBits(1:compared) ~= receivedBits(1:compared)) + (numel(sentBits) - compared);
codedBitErrorRate = codedBitErrors / numel(sentBits);
printf('coded bits: %d sent, %d received, %d errors, error rate %.3g\n', ...
       numel(sentBits), numel(receivedBits), codedBitErrors, codedBitErrorRate);

% Information bits: hard decisions, and soft decisions with the noise
% variance per symbol that the channel adds (N0 = 10^(-EsNodB/10)).
N0 = 10 ^ (-EsNodB / 10);
soft = ternSoftDetect(split.out, milstd, N0);
softUnweave = ternUnweave(soft.LLROut, milstd);
decodeHard = ternDecode(1 - 2 * unweave.out, milstd);
decodeSoft = ternDecode(softUnweave.out, milstd);

sentInfo = send.BitInCodIn;
infoBitErrors = zeros(1, 2);  % hard, soft
decoded = {decodeHard.DecodOut, decodeSoft.DecodOut};
for k = 1:2
  compared = min(numel(sentInfo), numel(decoded{k}));
  infoBitErrors(k) = sum(sentInfo(1:compared) ~= decoded{k}(1:compared)) + (numel(sentInfo) - compared);
end
infoBitErrorRate = infoBitErrors / numel(sentInfo);
printf('information bits: %d sent; hard decisions %d errors (rate %.3g), soft decisions %d errors (rate %.3g)\n', ...
       numel(sentInfo), infoBitErrors(1), infoBitErrorRate(1), infoBitErrors(2), infoBitErrorRate(2));
