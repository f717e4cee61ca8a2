% Host test of the example chain: all ten modules in a row.
chain = fullfile(getenv('TERN_SOURCE_DIR'), 'examples', 'chain.m');

%% no channel: shaping straight into matching recovers every coded bit
useChannel = false;
run(chain);
assert(isempty(fade));
assert(frameStart == 2 * varShapping.pulseDelay * varShapping.oversamplingFactor + 1);
assert(numel(receivedBits) == numel(sentBits) && numel(sentBits) == nFrames * milstd.interLength);
assert(codedBitErrors == 0 && codedBitErrorRate == 0, 'coded bit errors without a channel');

%% with the channel the chain runs to the end and keeps every stage
clear fade;
useChannel = true;
run(chain);
assert(isstruct(fade) && numel(fade.AwgnOut) >= numel(shape.out));
assert(codedBitErrorRate >= 0 && codedBitErrorRate <= 1);
for v = {'milstd', 'send', 'shape', 'fade', 'match', 'frameStart', 'timing', 'split', 'detect', 'unweave'}
  assert(exist(v{1}, 'var') == 1, v{1});
end
disp('test_chain: all checks passed');
