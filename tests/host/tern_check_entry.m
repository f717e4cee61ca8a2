function tern_check_entry(name, inputs)
% tern_check_entry(name, inputs) checks what every module shares: the
% argument-count failures (one input too few, one too many, two outputs;
% all before any input is looked at, so the dummy inputs are never
% examined) and the properties record of the module file.
  fn = str2func(name);
  if inputs == 1, plural = ''; else plural = 's'; end
  countText = sprintf('%d input%s required for entry-point ''%s''.', inputs, plural, name);
  dummies = num2cell(int8(zeros(1, inputs + 1)));
  tern_expect_error(@() fn(dummies{1:inputs - 1}), 'emlcoder:emlmex:WrongNumberOfInputs', countText);
  tern_expect_error(@() fn(dummies{:}), 'emlcoder:emlmex:WrongNumberOfInputs', countText);
  tern_expect_error(@() two_outputs(fn, dummies(1:inputs)), 'emlcoder:emlmex:TooManyOutputArguments', ...
                    sprintf('Too many output arguments for entry-point ''%s''.', name));

  props = ternProbeProperties(which(name));
  assert(isequal(fieldnames(props)', {'Version', 'EntryPoints'}));
  assert(strcmp(props.Version, '7.14.0.739 (R2012a)'));
  entry = props.EntryPoints;
  assert(isequal(fieldnames(entry)', {'Name', 'NumberOfInputs', 'NumberOfOutputs', 'ConstantInputs'}));
  assert(strcmp(entry.Name, name));
  assert(isa(entry.NumberOfInputs, 'double') && entry.NumberOfInputs == inputs);
  assert(isa(entry.NumberOfOutputs, 'double') && entry.NumberOfOutputs == 1);
  assert(islogical(entry.ConstantInputs) && isequal(entry.ConstantInputs, false(1, inputs)));
end

function two_outputs(fn, args)
  [first, second] = fn(args{:});
end
