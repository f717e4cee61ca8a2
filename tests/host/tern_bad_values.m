function bad = tern_bad_values(value, kind)
% bad = tern_bad_values(value, kind) lists values that an input declared as
% `kind` must refuse, made from a valid `value` of that input: rows of
% {label, bad value}. Kinds: 'realScalar', 'realColumn', 'realRow',
% 'complexColumn', 'complexMatrix', 'text', 'record', and
% 'realColumnOrNone' (a real column where [] means none). Every kind gets
% the wrong classes and the wrong shapes; the real kinds also get complex
% values. [] is not among the bad values of the kinds that take it (a
% matrix, a column or none).
  v = value;
  if strcmp(kind, 'text')
    numeric = double(v);
  elseif strcmp(kind, 'record')
    numeric = 1;
  else
    numeric = real(double(v));
  end
  bad = {'single',         single(numeric);
         'int32',          int32(numeric);
         'logical',        false(size(numeric));
         'cell',           {v};
         'sparse',         sparse(numeric);
         'struct array',   struct('a', {1, 2});
         'function handle', @sin;
         'empty',          []};
  if ~strcmp(kind, 'text')
    bad(end + 1, :) = {'char', repmat('a', size(numeric))};
  else
    bad(end + 1, :) = {'double', numeric};
  end
  switch kind
    case 'realScalar'
      shapes = {[v v], [v v; v v], cat(3, v, v)};
    case {'realColumn', 'complexColumn', 'realColumnOrNone'}
      shapes = {v.', [v v], cat(3, v, v)};
    case 'complexMatrix'
      shapes = {[], [], cat(3, v, v)};
    case 'realRow'
      shapes = {v.', [v; v], cat(3, v, v)};
    case 'text'
      shapes = {[v; v], cat(3, v, v), v.'};
    case 'record'
      shapes = {[v v], [v; v], cat(3, v, v)};
    otherwise
      error('tern:test:kind', 'unknown kind %s', kind);
  end
  labels = {'row or column swapped', 'matrix', '3-D'};
  if strcmp(kind, 'complexMatrix')
    labels = labels(3);  % any 2-D shape is a matrix
    shapes = shapes(3);
  end
  bad = [bad; labels', shapes'];
  if any(strcmp(kind, {'realScalar', 'realColumn', 'realRow', 'realColumnOrNone'}))
    bad(end + 1, :) = {'complex', complex(v, 1)};
  end
  if any(strcmp(kind, {'complexMatrix', 'realColumnOrNone'}))
    bad(strcmp(bad(:, 1), 'empty'), :) = [];
  end
end
