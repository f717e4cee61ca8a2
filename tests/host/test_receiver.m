% Host test of the example receiver script: the ten modules' receiver and
% ternReceive side by side through "ruim" at 14 dB.
run(fullfile(getenv('TERN_SOURCE_DIR'), 'examples', 'receiver.m'));
assert(sent == nBursts * nFrames * milstd.inputBitsPerInter, 'information bits sent: %d', sent);
% without channel correction the decisions are close to coin flips; the
% equalisers get nearly everything, the turbo passes at least as much as one LMMSE pass
assert(all(errorRate(1:2) > 0.3), 'ten-module receiver: %s', mat2str(errorRate(1:2), 3));
assert(errorRate(3) < 1e-2 && errors(4) <= errors(3), 'lmmse %g, turbo %g', errorRate(3), errorRate(4));
assert(abs(mean(estimatedN0) / N0 - 1) < 0.3, 'estimated N0 %g against %g', mean(estimatedN0), N0);
disp('test_receiver: all checks passed');
