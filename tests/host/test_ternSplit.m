% Host test of ternSplit: the data symbols of every complete frame.
[R, milstd] = tern_reference();
tern_check_entry('ternSplit', 2);

%% result record, equal to the host-free core
s = ternSplit(R.timing_out, milstd);
tern_check_record(s, {'out'});
tern_check_column(s.out, [], true);
assert(mod(numel(s.out), milstd.dataLength) == 0);
tern_same(s.out, R.split_out, 'out');
% direct check on the burst itself: data of frame 1 follow the preamble and one probe
clean = ternSplit(R.burst, milstd);
first = milstd.preambleLength + milstd.probeLength;
tern_same(clean.out(1:milstd.dataLength), R.burst(first + (1:milstd.dataLength)), 'frame 1 data');
assert(numel(clean.out) == 3 * milstd.dataLength);

%% no output still runs
clear ans;
ternSplit(R.timing_out, milstd);
tern_same(ans, s, 'ans');

%% the entry layer's checks
tern_invalid(@() ternSplit(R.timing_out.', milstd), 'DemultiplexIn');
tern_invalid(@() ternSplit(R.timing_out, setfield(milstd, 'dataLength', [])), 'milstd.dataLength');
tern_invalid(@() ternSplit(R.timing_out, setfield(milstd, 'mapper', zeros(300, 1))), 'milstd.mapper');
tern_invalid(@() ternSplit(R.timing_out, struct()), 'milstd');
disp('test_ternSplit: all checks passed');
