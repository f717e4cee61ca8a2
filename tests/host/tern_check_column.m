function tern_check_column(value, rows, isComplex)
% tern_check_column(value, rows, isComplex) checks a double N-by-1 column
% (rows = [] for any length); isComplex false requires a real column (a
% complex column may arrive real when all imaginary parts are zero).
  assert(isa(value, 'double') && ndims(value) == 2 && size(value, 2) == 1, ...
         'expected a column, got %s %s', mat2str(size(value)), class(value));
  if ~isempty(rows), assert(size(value, 1) == rows, 'expected %d rows, got %d', rows, size(value, 1)); end
  if ~isComplex, assert(isreal(value), 'expected a real column'); end
end
