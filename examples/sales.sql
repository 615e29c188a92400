-- Sample data for examples/sales.form: revenue by month and region. The
-- sums over both regions are the values of the reference chart R1 (two
-- months below zero); a request may ask for one region (?region=EU).
CREATE TABLE sales(month_no INTEGER, month TEXT, revenue REAL, region TEXT);
INSERT INTO sales(month_no, month, revenue, region) VALUES
  (1, 'Jan', 7, 'EU'), (1, 'Jan', 5, 'US'),
  (2, 'Feb', 11, 'EU'), (2, 'Feb', 8, 'US'),
  (3, 'Mar', 1, 'EU'), (3, 'Mar', 2, 'US'),
  (4, 'Apr', -2, 'EU'), (4, 'Apr', -3, 'US'),
  (5, 'May', 13, 'EU'), (5, 'May', 9, 'US'),
  (6, 'Jun', 10, 'EU'), (6, 'Jun', 7, 'US'),
  (7, 'Jul', 4, 'EU'), (7, 'Jul', 5, 'US'),
  (8, 'Aug', 6, 'EU'), (8, 'Aug', 8, 'US'),
  (9, 'Sep', 1, 'EU'), (9, 'Sep', -3, 'US'),
  (10, 'Oct', 15, 'EU'), (10, 'Oct', 10, 'US'),
  (11, 'Nov', 18, 'EU'), (11, 'Nov', 12, 'US'),
  (12, 'Dec', 6, 'EU'), (12, 'Dec', 5, 'US');
