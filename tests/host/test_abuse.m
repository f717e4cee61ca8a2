% Host abuse test: every input of every module, and every field of every
% record input, is given values of the wrong class, the wrong shape and the
% wrong complexity; records also come with their fields in another order,
% with an extra field and with a field missing. Each call must fail with the
% entry layer's error naming the module and the argument or record.field,
% and the session must go on: after every failure the same module is called
% with good inputs and must give its usual result.
[R, milstd, varShapping, varmilstd] = tern_reference();
varWatterson = struct('model', 'bom', 'EsNodB', 15, 'seed', 77);
x = R.shape_out(1:3000);
% a channel estimate with two paths (gains a full matrix), priors, a receiver record
estimate = ternEstimate(R.timing_out, milstd, varShapping);
estimate.delays = [estimate.delays; estimate.delays(end) + 2];
estimate.gains(:, end + 1) = 0.01;
varReceiver = struct('equalizer', 'lmmse', 'passes', 0, 'doppler', 0, 'tracking', 1);

% module, good inputs, their names, their declared kinds (records are walked field by field)
modules = {
  'ternSetup',      {varmilstd},                                {'varmilstd'},                       {'record'};
  'ternSend',       {milstd, 1, 5},                             {'milstd', 'nframe', 'seed'},        {'record', 'realScalar', 'realScalar'};
  'ternShape',      {R.burst(1:300), varShapping},              {'ShappingIn', 'varShapping'},       {'complexColumn', 'record'};
  'ternMatch',      {x, varShapping},                           {'MatchedFilterIn', 'varShapping'},  {'complexColumn', 'record'};
  'ternFade',       {x, varWatterson, varShapping},             {'WattersonIn', 'varWatterson', 'varShapping'}, {'complexColumn', 'record', 'record'};
  'ternTiming',     {R.match_out, R.framelock, varShapping},    {'SyncSymbolIn', 'FrameStartSample', 'varShapping'}, {'complexColumn', 'realScalar', 'record'};
  'ternFrameLock',  {R.match_out, milstd, varShapping},         {'SincroFrameIn', 'milstd', 'varShapping'}, {'complexColumn', 'record', 'record'};
  'ternSplit',      {R.timing_out, milstd},                     {'DemultiplexIn', 'milstd'},         {'complexColumn', 'record'};
  'ternDetect',     {R.split_out, milstd},                      {'DemodulatorIn', 'milstd'},         {'complexColumn', 'record'};
  'ternUnweave',    {R.unweave_in, milstd},                     {'DeinterleaverIn', 'milstd'},       {'realColumn', 'record'};
  'ternSoftDetect', {R.split_out, milstd, R.softdetect_N0},     {'DemodulatorIn', 'milstd', 'N0'},   {'complexColumn', 'record', 'realScalar'};
  'ternDecode',     {R.decode_in, milstd},                      {'DecoderIn', 'milstd'},             {'realColumn', 'record'};
  'ternEstimate',   {R.timing_out, milstd, varShapping},        {'SymbolsIn', 'milstd', 'varShapping'}, {'complexColumn', 'record', 'record'};
  'ternEqualize',   {R.timing_out, milstd, varShapping, estimate, R.equalize_prior}, ...
                    {'SymbolsIn', 'milstd', 'varShapping', 'estimate', 'LLRPrior'}, ...
                    {'complexColumn', 'record', 'record', 'record', 'realColumnOrNone'};
  'ternReceive',    {R.receive_in, milstd, varShapping, varReceiver}, ...
                    {'SymbolsIn', 'milstd', 'varShapping', 'varReceiver'}, {'complexColumn', 'record', 'record', 'record'};
  'ternSiso',       {R.decode_in, milstd},                      {'SisoIn', 'milstd'},                {'realColumn', 'record'};
  'ternInterleave', {R.unweave_in, milstd},                     {'InterleaverIn', 'milstd'},         {'realColumn', 'record'}};

% The declared kind of a record field, read from a good value (the records
% here come from the modules themselves: texts are character rows, scalars
% 1-by-1, the one row field is a row, columns hold more than one value, a
% matrix has more than one row and column).
function kind = field_kind(value)
  if ischar(value)
    kind = 'text';
  elseif rows(value) > 1 && columns(value) > 1
    kind = 'complexMatrix';
  elseif isscalar(value)
    kind = 'realScalar';
  elseif rows(value) == 1
    kind = 'realRow';
  elseif isreal(value)
    kind = 'realColumn';
  else
    kind = 'complexColumn';
  end
end

% Runs the module with argument `position` replaced by `value`, expects the
% entry layer's refusal naming `path`, then checks that the session goes on.
function refused(fn, name, args, position, value, path, label, expected)
  args{position} = value;
  try
    fn(args{:});
  catch err
    assert(strcmp(err.identifier, 'tern:invalidArgument'), '%s, %s as %s: identifier [%s], message [%s]', ...
           name, path, label, err.identifier, err.message);
    prefix = sprintf('Input ''%s'' of %s must be ', path, name);
    assert(strncmp(err.message, prefix, numel(prefix)), '%s as %s: message [%s] does not start [%s]', ...
           path, label, err.message, prefix);
    tern_same(feval(fn, expected.args{:}), expected.result, sprintf('%s after a refused %s (%s)', name, path, label));
    return;
  end
  error('tern:test:noFailure', '%s accepted %s as %s', name, path, label);
end

rng(41, 'twister');
rand(2, 1);
before = rng;
count = 0;
tic;
for m = 1:rows(modules)
  [name, args, names, kinds] = modules{m, :};
  fn = str2func(name);
  expected = struct('args', {args}, 'result', fn(args{:}));
  for a = 1:numel(args)
    % the argument itself
    bad = tern_bad_values(args{a}, kinds{a});
    for b = 1:rows(bad)
      refused(fn, name, args, a, bad{b, 2}, names{a}, bad{b, 1}, expected);
      count++;
    end
    if ~strcmp(kinds{a}, 'record')
      continue;
    end
    % the record as a whole: another order, an extra field, a missing field
    record = args{a};
    fields = fieldnames(record);
    extra = record;
    extra.extra = 1;
    whole = {'fields reversed', orderfields(record, numel(fields):-1:1);
             'fields rotated',  orderfields(record, [2:numel(fields), 1]);
             'extra field',     extra;
             'first missing',   rmfield(record, fields{1});
             'last missing',    rmfield(record, fields{end})};
    for b = 1:rows(whole)
      refused(fn, name, args, a, whole{b, 2}, names{a}, whole{b, 1}, expected);
      count++;
    end
    % every field given every bad value of its kind
    for f = 1:numel(fields)
      bad = tern_bad_values(record.(fields{f}), field_kind(record.(fields{f})));
      for b = 1:rows(bad)
        refused(fn, name, args, a, setfield(record, fields{f}, bad{b, 2}), [names{a} '.' fields{f}], bad{b, 1}, expected);
        count++;
      end
    end
  end
  assert(isequal(rng, before), 'the host generator changed after the refused calls of %s', name);
end
printf('test_abuse: %d refused calls, each followed by a good one, in %.1f s\n', count, toc);
disp('test_abuse: all checks passed');
