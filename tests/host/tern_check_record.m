function tern_check_record(value, names)
% tern_check_record(value, names) checks a result record: 1-by-1, exactly
% these fields in this order, every field a double array.
  assert(isstruct(value) && isequal(size(value), [1 1]), 'not a 1-by-1 record');
  assert(isequal(fieldnames(value)', names), 'fields: %s', strjoin(fieldnames(value)', ', '));
  for k = 1:numel(names)
    assert(isa(value.(names{k}), 'double'), 'field %s is %s', names{k}, class(value.(names{k})));
  end
end
