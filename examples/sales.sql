-- Sample data for examples/sales.form: revenue by month, the values of the
-- reference chart R1 (two months below zero).
CREATE TABLE sales(month_no INTEGER, month TEXT, revenue REAL);
INSERT INTO sales(month_no, month, revenue) VALUES
  (1, 'Jan', 12),
  (2, 'Feb', 19),
  (3, 'Mar', 3),
  (4, 'Apr', -5),
  (5, 'May', 22),
  (6, 'Jun', 17),
  (7, 'Jul', 9),
  (8, 'Aug', 14),
  (9, 'Sep', -2),
  (10, 'Oct', 25),
  (11, 'Nov', 30),
  (12, 'Dec', 11);
