select a from t where 'x
y' = a