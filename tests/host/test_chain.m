% Host test of the example chain: the ten modules in a row, then soft
% detection and decoding down to the information bits.
chain = fullfile(getenv('TERN_SOURCE_DIR'), 'examples', 'chain.m');

%% no channel: shaping straight into matching recovers every coded bit
useChannel = false;
run(chain);
assert(isempty(fade));
assert(frameStart == 2 * varShapping.pulseDelay * varShapping.oversamplingFactor + 1);
assert(numel(receivedBits) == numel(sentBits) && numel(sentBits) == nFrames * milstd.interLength);
assert(codedBitErrors == 0 && codedBitErrorRate == 0, 'coded bit errors without a channel');
assert(numel(decodeSoft.DecodOut) == numel(sentInfo) && numel(sentInfo) == nFrames * milstd.inputBitsPerInter);
assert(isequal(infoBitErrors, [0 0]), 'information bit errors without a channel');
assert(numel(soft.LLROut) == numel(detect.DemapOut) && isequal(soft.LLROut < 0, detect.DemapOut == 1));

%% with the channel the chain runs to the end and keeps every stage
clear fade;
useChannel = true;
run(chain);
assert(isstruct(fade) && numel(fade.AwgnOut) >= numel(shape.out));
assert(codedBitErrorRate >= 0 && codedBitErrorRate <= 1);
assert(all(infoBitErrorRate >= 0 & infoBitErrorRate <= 1));
for v = {'milstd', 'send', 'shape', 'fade', 'match', 'frameStart', 'timing', 'split', 'detect', 'unweave', ...
         'soft', 'softUnweave', 'decodeHard', 'decodeSoft'}
  assert(exist(v{1}, 'var') == 1, v{1});
end
disp('test_chain: all checks passed');
