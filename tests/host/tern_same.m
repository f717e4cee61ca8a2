function tern_same(actual, expected, what)
% tern_same(actual, expected, what): equal values and equal sizes.
  assert(isequal(size(actual), size(expected)), '%s: size %s, expected %s', what, ...
         mat2str(size(actual)), mat2str(size(expected)));
  if ~isequal(actual, expected)
    if isnumeric(actual) && isnumeric(expected)
      error('tern:test:differs', '%s differs (largest difference %g)', what, max(abs(actual(:) - expected(:))));
    end
    error('tern:test:differs', '%s differs', what);
  end
end
