% The channel decoder's and the soft demodulator's host tests in one session
% (one start of the host under the memory checker for both).
test_ternDecode;
test_ternSoftDetect;
