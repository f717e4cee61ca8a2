function tern_invalid(call, name)
% tern_invalid(call, name) checks that call() is refused by the entry
% layer's own checks with a message naming the argument or record field.
  tern_expect_error(call, 'tern:invalidArgument', {['Input ''' name ''' ']});
end
